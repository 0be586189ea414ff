#include "programs/voka-server/http_request.h"

#include "codec/hex_digit.h"

namespace {

bool IsMethodToken(const std::string& method) {
  if (method.empty() || method.size() > 16) return false;
  for (char c : method) {
    if (c < 'A' || c > 'Z') return false;
  }
  return true;
}

// Blanks are let through: clients put some values into the query unencoded,
// and the first and last blank of the request line still delimit the target.
bool HasControlBytes(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

}  // namespace

HeadStatus ParseHttpRequestHead(const std::string& buffer, HttpRequest& request, std::string& problem) {
  size_t end = buffer.find("\r\n\r\n");
  if (end == std::string::npos) end = buffer.find("\n\n");
  if (end == std::string::npos || end > kLargestRequestHead) {
    if (buffer.size() >= kLargestRequestHead) {
      problem = "request head longer than " + std::to_string(kLargestRequestHead) + " bytes";
      return HeadStatus::kTooLong;
    }
    return HeadStatus::kIncomplete;
  }
  std::string line = buffer.substr(0, buffer.find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  size_t firstSpace = line.find(' ');
  size_t lastSpace = line.rfind(' ');
  if (firstSpace == std::string::npos || lastSpace == firstSpace) {
    problem = "malformed request line";
    return HeadStatus::kMalformed;
  }
  request.method = line.substr(0, firstSpace);
  std::string target = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
  std::string version = line.substr(lastSpace + 1);
  if (!IsMethodToken(request.method) || version.compare(0, 7, "HTTP/1.") != 0 || version.size() != 8 ||
      target.empty() || target[0] != '/' || HasControlBytes(target)) {
    problem = "malformed request line";
    return HeadStatus::kMalformed;
  }
  size_t question = target.find('?');
  request.hasQuery = question != std::string::npos;
  request.path = target.substr(0, question);
  request.query = request.hasQuery ? target.substr(question + 1) : std::string();
  return HeadStatus::kComplete;
}

std::string DecodeQueryComponent(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 && HexDigitValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

RequestFields ParseQuery(const std::string& query) {
  RequestFields fields;
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    std::string piece = query.substr(start, end - start);
    size_t equals = piece.find('=');
    if (equals != std::string::npos) {
      std::string name = DecodeQueryComponent(piece.substr(0, equals));
      for (char& c : name) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      }
      fields[name] = DecodeQueryComponent(piece.substr(equals + 1));
    }
    start = end + 1;
  }
  return fields;
}

std::string HttpResponseHead(int status, size_t bodyLength) {
  const char* reason = "OK";
  switch (status) {
    case 400: reason = "Bad Request"; break;
    case 404: reason = "Not Found"; break;
    case 405: reason = "Method Not Allowed"; break;
    case 431: reason = "Request Header Fields Too Large"; break;
    case 500: reason = "Internal Server Error"; break;
    default: break;
  }
  return "HTTP/1.1 " + std::to_string(status) + " " + reason +
         "\r\nContent-Type: text/plain; charset=GBK\r\nContent-Length: " + std::to_string(bodyLength) +
         "\r\nConnection: close\r\n\r\n";
}

std::string HttpRedirectHead(const std::string& location) {
  return "HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}
