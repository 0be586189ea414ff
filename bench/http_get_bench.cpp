// HttpGet of a small body against a bare libcurl transfer of the same URL
// with a fresh easy handle; both open a new connection every time.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <string>

#include "tests/peers/http_peer.h"
#include "voka/transport/http_get.h"

namespace {

HttpPeer& SmallBodyServer() {
  static HttpPeer server(
      [](const HttpRequestRecord&) { return HttpReply::Text("RETVALUE=0^$^GUID=0123456789abcdef^$^DESCMSG=ok"); });
  return server;
}

size_t Collect(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

void HttpGetSmallBody(benchmark::State& state) {
  const std::string url = SmallBodyServer().BaseUrl() + "/zq.ack?INDICATION=";
  for (auto _ : state) {
    std::string body;
    if (HttpGet(url.c_str(), body) != 0) {
      state.SkipWithError("HttpGet failed");
      break;
    }
  }
}

void BareCurlSmallBody(benchmark::State& state) {
  const std::string url = SmallBodyServer().BaseUrl() + "/zq.ack?INDICATION=";
  curl_global_init(CURL_GLOBAL_DEFAULT);
  for (auto _ : state) {
    std::string body;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    CURLcode result = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    if (result != CURLE_OK) {
      state.SkipWithError("libcurl failed");
      break;
    }
  }
}

}  // namespace

BENCHMARK(HttpGetSmallBody)->Name("http/http_get");
BENCHMARK(BareCurlSmallBody)->Name("http/bare_libcurl");
