#include "programs/voka-server/request_opener.h"

#include <gtest/gtest.h>

#include <string>

#include "programs/voka-server/answer_builder.h"
#include "programs/voka-server/fault_modes.h"
#include "voka/codec/ansi_codepage.h"
#include "voka/codec/seal_param.h"

namespace {

std::string Sealed(const std::string& text) {
  char out[kSealedBufferSize] = {};
  SealParam(reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()), "qpqp", out);
  return out;
}

std::string Datagram(uint16_t command, const std::string& payload, uint32_t lengthAdjust = 0, uint16_t fixed2 = 0) {
  UDP_HEADER header = {};
  header.dwLength = static_cast<uint32_t>(payload.size() + 16 + lengthAdjust);
  header.wCommand = command;
  header.dwSequence = 10001;
  header.wFixed1 = 1;
  header.wFixed2 = fixed2;
  header.wFixed3 = 1;
  unsigned char bytes[kUdpHeaderSize];
  WriteDatagramHeader(header, bytes);
  return std::string(reinterpret_cast<char*>(bytes), kUdpHeaderSize) + payload;
}

OpenResult Open(const std::string& datagram, UDP_HEADER& header, std::string& text) {
  std::string problem;
  return OpenRequestDatagram(reinterpret_cast<const unsigned char*>(datagram.data()), datagram.size(), header, text,
                             problem);
}

TEST(RequestOpener, OpensASealedRequest) {
  const std::string datagram = Datagram(0xC500, Sealed("USERID=u1^$^PWD=p=w^$^GUID="));
  // Big-endian on the wire: command bytes C5 00 at offset 4, sequence 00 00 27 11 at 6.
  EXPECT_EQ(datagram.substr(4, 6), std::string("\xC5\x00\x00\x00\x27\x11", 6));
  UDP_HEADER header;
  std::string text;
  ASSERT_EQ(Open(datagram, header, text), OpenResult::kOpened);
  EXPECT_EQ(+header.wCommand, 0xC500);
  EXPECT_EQ(+header.dwSequence, 10001u);
  EXPECT_EQ(text, "USERID=u1^$^PWD=p=w^$^GUID=");
  RequestFields fields = ParseParameterText(text, "^$^");
  EXPECT_EQ(fields, (RequestFields{{"USERID", "u1"}, {"PWD", "p=w"}, {"GUID", ""}}));
}

TEST(RequestOpener, RefusesBadFraming) {
  const std::string payload = Sealed("INDICATION=");
  UDP_HEADER header;
  std::string text;
  EXPECT_EQ(Open(std::string(19, '\0'), header, text), OpenResult::kBadHeader);
  EXPECT_EQ(Open(Datagram(0x5300, payload, 1), header, text), OpenResult::kBadHeader);
  EXPECT_EQ(Open(Datagram(0x5300, payload, static_cast<uint32_t>(-1)), header, text), OpenResult::kBadHeader);
  EXPECT_EQ(Open(Datagram(0x5300, payload, 0, 1), header, text), OpenResult::kBadHeader);
  EXPECT_EQ(Open(Datagram(0x5300, std::string(2028, 'A')), header, text), OpenResult::kBadHeader);
  EXPECT_EQ(Open(Datagram(0x5300, "not*base64"), header, text), OpenResult::kBadPayload);
  EXPECT_EQ(Open(Datagram(0x5300, ""), header, text), OpenResult::kOpened);
  EXPECT_EQ(text, "");
}

TEST(ParameterText, FieldsAsTheEngineParsesThem) {
  EXPECT_EQ(ParseParameterText("a=1^$^junk^$^A=2^$^=e^$^k=", "^$^"), (RequestFields{{"A", "2"}, {"", "e"}, {"K", ""}}));
  EXPECT_TRUE(ParseParameterText("", "^$^").empty());
}

TEST(AnswerBuilder, WireForms) {
  SetAnsiCodePage(936);
  AnswerFields answer = {{"RETVALUE", "0"}, {"DESCMSG", "登录成功"}};
  const std::string gbk = "\xB5\xC7\xC2\xBC\xB3\xC9\xB9\xA6";
  EXPECT_EQ(UdpAnswerPayload(answer), std::string("RETVALUE=0\0DESCMSG=", 19) + gbk + std::string(1, '\0'));
  EXPECT_EQ(HttpAnswerBody(answer), "RETVALUE=0^$^DESCMSG=" + gbk);
  // The answer datagram's header is checked end to end (test_server_robustness.py).
}

TEST(FaultModes, BrokenDatagrams) {
  UDP_HEADER request = {};
  AnswerFields answer = {{"RETVALUE", "0"}};
  FaultModes faults;
  std::string datagram;
  ASSERT_TRUE(ParseFaultMode("oversized", faults));
  ASSERT_TRUE(AnswerDatagram(faults, request, answer, datagram));
  EXPECT_EQ(datagram.size(), kOversizedDatagram);
  EXPECT_EQ(datagram.back(), '\0');
  ASSERT_TRUE(ParseFaultMode("truncated", faults));
  ASSERT_TRUE(AnswerDatagram(faults, request, answer, datagram));
  EXPECT_EQ(datagram.size(), kTruncatedDatagram);
  ASSERT_TRUE(ParseFaultMode("lying-length", faults));
  ASSERT_TRUE(AnswerDatagram(faults, request, answer, datagram));
  UDP_HEADER header;
  ReadDatagramHeader(reinterpret_cast<const unsigned char*>(datagram.data()), header);
  EXPECT_EQ(+header.dwLength, kLyingLength);
  ASSERT_TRUE(ParseFaultMode("silence", faults));
  EXPECT_FALSE(AnswerDatagram(faults, request, answer, datagram));
  EXPECT_FALSE(ParseFaultMode("gremlins", faults));
}

}  // namespace
