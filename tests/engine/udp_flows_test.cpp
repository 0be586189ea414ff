// The flows over UDP: the datagram's header and sealed text, and answers
// merged into the result map.
#include <string>

#include "protocol/engine_messages.h"
#include "tests/engine/engine_fixture.h"

namespace {

using UdpFlows = EngineWithPeers;

TEST_F(UdpFlows, DatagramCarriesTheHeaderAndTheSealedText) {
  udp.AnswerWith(NulFields({"RETVALUE=0", "GUID=X1GUID"}));
  EXPECT_EQ(engine.GetDynamicKey("X1"), 0);
  const auto requests = udp.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string& datagram = requests[0];
  // The known sealed text as payload; the header's words: udp_exchange_test.
  EXPECT_EQ(datagram.substr(20), "UkzMK365ujGAAJH/+NHzcozfbiUgQJ4D");
  EXPECT_EQ(DatagramLengthField(datagram), 16u + 32u);
  EXPECT_EQ(engine.Guid(), "X1GUID");
  EXPECT_TRUE(engine.UsesUdp());

  udp.AnswerWith(NulFields({"RETVALUE=0"}));
  engine.GetDynamicKey("X1");
  EXPECT_EQ(DatagramSequence(udp.Requests()[1]), DatagramSequence(datagram) + 1);
}

TEST_F(UdpFlows, DynamicKeyWithoutIndicationSealsAnEmptyText) {
  udp.AnswerWith(NulFields({"RETVALUE=0"}));
  EXPECT_EQ(engine.GetDynamicKey(nullptr), 0);
  ASSERT_EQ(udp.Requests().size(), 1u);
  EXPECT_EQ(udp.Requests()[0].size(), 20u);

  udp.AnswerWith(NulFields({"RETVALUE=0"}));
  EXPECT_EQ(engine.GetDynamicKey(""), 0);
  EXPECT_EQ(LastParameterText(), "INDICATION=");
}

TEST_F(UdpFlows, AnswerWithoutItsNulLosesItsLastByte) {
  // The last byte of a datagram's payload is taken for its terminator.
  udp.AnswerWith("RETVALUE=12");
  EXPECT_EQ(engine.ECardAuthen("u", "c", ""), 1);
  udp.AnswerWith(std::string("RETVALUE=0\0K=ab", 15));
  EXPECT_EQ(engine.ECardAuthen("u", "c", ""), 0);
  EXPECT_EQ(engine.FindValue("K"), "a");
  // After a NUL the last byte is data: here the field "=", an empty name.
  udp.AnswerWith(std::string("RETVALUE=0\0K=ab\0=", 17));
  EXPECT_EQ(engine.ECardAuthen("u", "c", ""), 0);
  EXPECT_EQ(engine.FindValue("K"), "ab");
  EXPECT_EQ(engine.Results().count(""), 1u);
}

TEST_F(UdpFlows, LoginsMergeAnswersIntoTheMapButEachNeedsItsOwnVerdict) {
  udp.AnswerWith(NulFields({"RETVALUE=0", "A=1", "B=1", "DESCMSG=ok"}));
  EXPECT_EQ(engine.StaticAuthen("u", "p", "", "", "", ""), 0);
  // No RETVALUE in this answer: the earlier verdict and message are gone.
  udp.AnswerWith(NulFields({"B=2", "C=2"}));
  EXPECT_EQ(engine.EKeyAuthen("u", "k", "1", ""), AUTHEN_E_FAIL);
  EXPECT_EQ(engine.FindValue("RETVALUE"), "");
  EXPECT_EQ(engine.FindValue("DESCMSG"), kNetworkErrorMessage);
  EXPECT_EQ(engine.FindValue("A"), "1");
  EXPECT_EQ(engine.FindValue("B"), "2");
  EXPECT_EQ(engine.FindValue("C"), "2");
  // Nothing but a header after a success.
  udp.AnswerWith(NulFields({"RETVALUE=0"}));
  EXPECT_EQ(engine.StaticAuthen("u", "p", "", "", "", ""), 0);
  udp.AnswerWith("");
  EXPECT_EQ(engine.EKeyAuthen("u", "k", "1", ""), AUTHEN_E_FAIL);
  udp.AnswerWith(NulFields({"RETVALUE=3"}));
  EXPECT_EQ(engine.ECardAuthen("u", "c", ""), 3);
  EXPECT_EQ(engine.FindValue("A"), "1");
  // Initialize empties it.
  engine.Initialize(udp.Endpoint().c_str(), http.BaseUrl().c_str());
  EXPECT_TRUE(engine.Results().empty());
  udp.AnswerWith(NulFields({"D=4"}));
  EXPECT_EQ(engine.ECardAuthen("u", "c", ""), AUTHEN_E_FAIL);
  EXPECT_EQ(engine.FindValue("D"), "4");
}

}  // namespace
