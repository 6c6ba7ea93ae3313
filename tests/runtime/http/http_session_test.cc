#include "runtime/http/http_session.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <strings.h>

#include <atomic>
#include <thread>

#include "runtime/platform/event.h"
#include "runtime/util/gzip.h"
#include "tests/support/web_standin.h"

namespace brx::http {
namespace {

using ombrix::test::WaitUntil;
using ombrix::test::WebStandin;

bool Inflate(const void* data, size_t length, std::string* out) {
  return util::InflateGzipBody(data, length, out);
}

class HttpSessionTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(standin_.running()); }
  std::string Command(const std::string& name, bool zip = true) {
    return standin_.base_url() + "/ClientInterface.axd?CommandName=" + name +
           "&Interface=Other&SerializationType=Json" + (zip ? "&zip=gzip" : "");
  }
  WebStandin standin_;
};

TEST_F(HttpSessionTest, SendsOnlyTheNamedHeadersAndTheBodyBytes) {
  HttpSession s;
  ASSERT_TRUE(s.Open(standin_.base_url() + "/UploadFile.axd?CommandName=BlogImage"));
  ASSERT_TRUE(s.AddGzipAcceptHeader());
  ASSERT_TRUE(s.AddGzipAcceptHeader());  // replaces, never adds a second line
  std::string body("\x00\x01jpeg\xff bytes", 12);
  ASSERT_TRUE(s.SendRequest(body.data(), body.size()));
  int code = 0;
  ASSERT_TRUE(s.GetStatusCode(&code));
  EXPECT_EQ(code, 200);
  EXPECT_NE(s.body().find("<Status>0</Status>"), std::string::npos) << s.body();
  EXPECT_EQ(s.raw_headers().rfind("HTTP/1.0 200", 0), 0u) << s.raw_headers();

  auto requests = standin_.RequestsTo("/UploadFile.axd");
  ASSERT_EQ(requests.size(), 1u);
  const auto& r = requests[0];
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.body_length, body.size());
  EXPECT_EQ(r.Header("User-Agent"), "WinHTTP HttpSession/1.0");
  EXPECT_EQ(r.Header("Accept-Encoding"), "gzip");
  size_t accept_encoding = 0;
  for (const auto& [name, value] : r.headers)
    accept_encoding += strcasecmp(name.c_str(), "Accept-Encoding") == 0;
  EXPECT_EQ(accept_encoding, 1u);
  EXPECT_FALSE(r.HasHeader("Accept"));
  EXPECT_FALSE(r.HasHeader("Content-Type"));
  EXPECT_FALSE(r.HasHeader("Expect"));
  EXPECT_EQ(r.Header("Content-Length"), "12");
}

TEST_F(HttpSessionTest, EmptyBodyPostsZeroLengthAndWithoutGzipHeaderNoEncodingIsAsked) {
  HttpSession s;
  ASSERT_TRUE(s.Open(Command("GetServerDateTime")));
  ASSERT_TRUE(s.SendRequest(nullptr, 0));
  EXPECT_EQ(s.body().rfind("{\"Status\": 0", 0), 0u) << s.body();  // the service did not compress
  auto r = standin_.RequestsFor("GetServerDateTime").at(0);
  EXPECT_EQ(r.Header("Content-Length"), "0");
  EXPECT_FALSE(r.HasHeader("Accept-Encoding"));
}

TEST_F(HttpSessionTest, GzipIsInflatedOnlyForTheExactEncodingName) {
  {
    HttpSession s;
    s.SetGzipDecoder(&Inflate);
    ASSERT_TRUE(s.Open(Command("GetServerDateTime")));
    s.AddGzipAcceptHeader();
    ASSERT_TRUE(s.SendRequest(nullptr, 0));
    EXPECT_NE(s.raw_headers().find("Content-Encoding: gzip"), std::string::npos);
    EXPECT_EQ(s.body().rfind("{\"Status\": 0", 0), 0u) << s.body();
  }
  {
    standin_.Fault("command=GetServerDateTime&mode=status&status_json=0&encoding=GZIP");
    HttpSession s;
    s.SetGzipDecoder(&Inflate);
    ASSERT_TRUE(s.Open(Command("GetServerDateTime")));
    s.AddGzipAcceptHeader();
    ASSERT_TRUE(s.SendRequest(nullptr, 0));
    ASSERT_GE(s.body().size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(s.body()[0]), 0x1f);  // kept as received
    EXPECT_EQ(static_cast<unsigned char>(s.body()[1]), 0x8b);
  }
}

TEST_F(HttpSessionTest, ABodyThatFailsToDecodeFailsTheRequest) {
  standin_.Fault("command=GetServerDateTime&mode=badgzip");
  HttpSession s;
  s.SetGzipDecoder(&Inflate);
  ASSERT_TRUE(s.Open(Command("GetServerDateTime")));
  s.AddGzipAcceptHeader();
  EXPECT_FALSE(s.SendRequest(nullptr, 0));
  EXPECT_EQ(s.last_error(), CURLE_BAD_CONTENT_ENCODING);
  EXPECT_TRUE(s.body().empty());
}

TEST_F(HttpSessionTest, ErrorStatusKeepsItsBodyAndAReplyWithoutBodySucceeds) {
  standin_.Fault("command=GetServerDateTime&mode=http500");
  HttpSession s;
  ASSERT_TRUE(s.Open(Command("GetServerDateTime", false)));
  ASSERT_TRUE(s.SendRequest(nullptr, 0));
  int code = 0;
  ASSERT_TRUE(s.GetStatusCode(&code));
  EXPECT_EQ(code, 500);
  EXPECT_NE(s.body().find("\"Status\": -500"), std::string::npos);

  standin_.Fault("command=GetServerDateTime&mode=empty");
  HttpSession empty;
  ASSERT_TRUE(empty.Open(Command("GetServerDateTime")));
  empty.SetGzipDecoder(&Inflate);
  ASSERT_TRUE(empty.SendRequest(nullptr, 0));
  EXPECT_TRUE(empty.body().empty());
}

// A caller that allowed an address turns redirects off: the redirect is
// then the reply, and its target is never asked.
TEST_F(HttpSessionTest, ARedirectIsTheReplyWhenFollowingIsOff) {
  for (bool follow : {true, false}) {
    standin_.Fault("command=GetServerDateTime&mode=redirect&location=%2Fnowhere");
    HttpSession s;
    s.SetFollowRedirects(follow);
    ASSERT_TRUE(s.Open(Command("GetServerDateTime", false)));
    ASSERT_TRUE(s.SendRequest(nullptr, 0));
    int code = 0;
    ASSERT_TRUE(s.GetStatusCode(&code));
    if (follow) {
      EXPECT_NE(code, 302);
      EXPECT_EQ(standin_.RequestsTo("/nowhere").size(), 1u);
    } else {
      EXPECT_EQ(code, 302);
      EXPECT_EQ(s.body(), "moved");
      EXPECT_EQ(standin_.RequestsTo("/nowhere").size(), 1u) << "asked again";
    }
  }
}

TEST_F(HttpSessionTest, TransportFailuresAndTimeOutsReportFalse) {
  HttpSession bad;
  EXPECT_FALSE(bad.Open("ftp://127.0.0.1/x"));
  EXPECT_FALSE(bad.SendRequest(nullptr, 0));

  HttpSession dropped;
  standin_.Fault("command=GetServerDateTime&mode=drop");
  ASSERT_TRUE(dropped.Open(Command("GetServerDateTime")));
  EXPECT_FALSE(dropped.SendRequest(nullptr, 0));
  int code = 0;
  EXPECT_FALSE(dropped.GetStatusCode(&code));

  standin_.Fault("command=GetServerDateTime&mode=timeout&hold_ms=20000");
  HttpSession slow;
  slow.SetTimeouts(300, 300, 300, 300);
  ASSERT_TRUE(slow.Open(Command("GetServerDateTime")));
  EXPECT_FALSE(slow.SendRequest(nullptr, 0));
  EXPECT_EQ(slow.last_error(), CURLE_OPERATION_TIMEDOUT);
}

TEST_F(HttpSessionTest, AnAbortEndsAHangingRequestAtOnce) {
  standin_.Fault("command=GetServerDateTime&mode=timeout&hold_ms=30000");
  std::atomic<bool> stop{false};
  platform::Event wake;
  std::atomic<bool> finished{false};
  bool sent = true;
  int error = 0;
  std::thread worker([&] {
    HttpSession s;  // default time-outs: a minute
    s.SetAbortSignal(AbortSignal{[&] { return stop.load(); }, wake.fd()});
    s.Open(Command("GetServerDateTime"));
    sent = s.SendRequest(nullptr, 0);
    error = s.last_error();
    finished = true;
  });
  ASSERT_TRUE(standin_.WaitForRequests("GetServerDateTime"));
  EXPECT_FALSE(finished.load());
  stop = true;
  wake.Set();
  EXPECT_TRUE(WaitUntil([&] { return finished.load(); }, std::chrono::milliseconds(3000)));
  worker.join();
  EXPECT_FALSE(sent);
  EXPECT_EQ(error, CURLE_ABORTED_BY_CALLBACK);
}

}  // namespace
}  // namespace brx::http
