#include "client/web/web_envelope.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include "client/web/jober_web.h"
#include "client/web/ob_logic_web_other.h"
#include "client/web/ob_logic_web_user.h"
#include "client/web/web_command.h"
#include "runtime/http/reply_redact.h"
#include "runtime/util/text_convert.h"
#include "tests/client/web/web_test_fixture.h"

namespace ombrix::test {
namespace {

using brx::util::Utf8ToWide;
using brx::util::WideToUtf8;

TEST(WebEnvelopeTest, JsonStatusDecidesAndDataComesAsTextOrStyledJson) {
  std::wstring out = L"untouched";
  EXPECT_EQ(OBGetReturnData_Json(L"", &out), 0);
  EXPECT_EQ(OBGetReturnData_Json(L"<html>oops</html>", &out), 0);
  EXPECT_EQ(out, L"untouched");
  EXPECT_EQ(OBGetReturnData_Json(L"{\"Status\":\"1\",\"Message\":\"\u9519\",\"Data\":\"x\"}", &out),
            2);
  EXPECT_EQ(out, L"\u9519");
  EXPECT_EQ(OBGetReturnData_Json(L"{\"Status\":-10,\"Message\":\"taken\"}", &out), 2);
  EXPECT_EQ(out, L"taken");
  EXPECT_EQ(OBGetReturnData_Json(L"{\"Data\":\"no status\"}", &out), 1);
  EXPECT_EQ(out, L"no status");
  EXPECT_EQ(OBGetReturnData_Json(L"{\"Status\":\"abc\",\"Data\":\"odd status\"}", &out), 1);
  EXPECT_EQ(out, L"odd status");
  EXPECT_EQ(OBGetReturnData_Json(L"{\"Status\":0}", &out), 1);
  EXPECT_EQ(out, L"");
  ASSERT_EQ(OBGetReturnData_Json(L"{\"Status\":0,\"Data\":{\"a\":[1,2],\"b\":\"t\"}}", &out), 1);
  Json::Value v;
  ASSERT_TRUE(Json::Reader().parse(WideToUtf8(out), v));  // the callback parses it again
  EXPECT_EQ(v["a"][1].asInt(), 2);
  EXPECT_EQ(v["b"].asString(), "t");
  ASSERT_EQ(OBGetReturnData_Json(L"{\"Status\":0,\"Data\":[{\"x\":1}]}", &out), 1);
  ASSERT_TRUE(Json::Reader().parse(WideToUtf8(out), v));
  EXPECT_TRUE(v.isArray());
}

TEST(WebEnvelopeTest, XmlEnvelopeUnderAnyRoot) {
  std::wstring message, status, data;
  EXPECT_TRUE(ParseXmlReturn(&message, L"<R><Status>0</Status><Data>http://h/a.jpg</Data></R>",
                             &status, &data));
  EXPECT_EQ(status, L"0");
  EXPECT_EQ(data, L"http://h/a.jpg");
  EXPECT_EQ(message, L"");
  EXPECT_TRUE(ParseXmlReturn(&message, L"<X><Status>3</Status><Message>\u5931\u8d25</Message></X>",
                             &status, &data));
  EXPECT_EQ(status, L"3");
  EXPECT_EQ(data, L"");  // no Data child
  EXPECT_EQ(message, L"\u5931\u8d25");
  EXPECT_FALSE(ParseXmlReturn(&message, L"not xml <", &status, &data));
  EXPECT_FALSE(ParseXmlReturn(&message, L"", &status, &data));
  EXPECT_EQ(status, L"");
}

class WebEnvelopeE2ETest : public WebTestFixture {
 protected:
  void SetUp() override {
    WebTestFixture::SetUp();
    StartManager();
  }
  // Runs one command job on the normal worker; returns its result's fields.
  struct Outcome {
    bool done = false;
    bool ok = false;
    bool rejected = false;
    std::wstring text, reply;
  };
  Outcome Run(std::unique_ptr<JoberDesc_Web> job,
              std::unique_ptr<Jober> jober = std::make_unique<Jober_WebNormal>(),
              WebLogicManager::Worker worker = WebLogicManager::kNormalWorker) {
    auto outcome = std::make_shared<Outcome>();
    job->callback = [outcome](const JoberDescReturn_Web* r) {
      outcome->done = true;
      outcome->ok = r->ok;
      outcome->rejected = r->rejected;
      outcome->text = r->text;
      outcome->reply = r->reply;
    };
    manager_->PostJob(worker, std::move(jober), std::move(job));
    EXPECT_TRUE(PumpUntil([&] { return outcome->done; }));
    return *outcome;
  }
  std::unique_ptr<JoberDesc_Web> Command(const wchar_t* name = L"GetServerDateTime") {
    return NewInterfaceCommand(Utf8ToWide(standin_.base_url()), L"Other", name, {}, nullptr);
  }
};

TEST_F(WebEnvelopeE2ETest, CommandUrlAndHeadersOnTheWire) {
  manager_->Other().GetServerDateTime();
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(30) == 1; }));
  auto e = events_.Of(30)[0];
  EXPECT_EQ(e.ok, 1);
  EXPECT_EQ(e.kind, 0);
  EXPECT_EQ(e.text.size(), 19u) << WideToUtf8(e.text);  // "YYYY-MM-DD HH:MM:SS"
  EXPECT_NE(e.param.find(L"\"Status\": 0"), std::wstring::npos);

  auto r = standin_.RequestsFor("GetServerDateTime").at(0);
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.path, "/ClientInterface.axd");
  EXPECT_EQ(r.ParamKeys(), (std::vector<std::string>{"CommandName", "Interface",
                                                     "SerializationType", "random_ticket", "zip"}));
  EXPECT_EQ(r.Param("Interface"), "Other");
  EXPECT_EQ(r.Param("SerializationType"), "Json");
  EXPECT_EQ(r.Param("zip"), "gzip");
  EXPECT_FALSE(r.Param("random_ticket").empty());
  EXPECT_EQ(r.Param("random_ticket").find_first_not_of("0123456789"), std::string::npos);
  EXPECT_EQ(r.Header("User-Agent"), "WinHTTP HttpSession/1.0");
  EXPECT_EQ(r.Header("Accept-Encoding"), "gzip");
  EXPECT_EQ(r.Header("Content-Length"), "0");
  EXPECT_FALSE(r.HasHeader("Content-Type"));
  EXPECT_FALSE(r.HasHeader("Accept"));
  EXPECT_FALSE(r.HasHeader("Expect"));
}

TEST_F(WebEnvelopeE2ETest, StatusVariantsAndDataShapes) {
  standin_.Fault("command=GetServerDateTime&mode=status&status_json=1&message=refused");
  auto o = Run(Command());
  EXPECT_FALSE(o.ok);
  EXPECT_TRUE(o.rejected);
  EXPECT_EQ(o.text, L"refused");

  standin_.Fault("command=GetServerDateTime&mode=status&status_json=%221%22&message=text+one");
  o = Run(Command());
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.text, L"text one");

  for (const char* fine : {"0", "missing", "%22abc%22"}) {
    standin_.Fault(std::string("command=GetServerDateTime&mode=status&status_json=") + fine);
    o = Run(Command());
    EXPECT_TRUE(o.ok) << fine;
    EXPECT_FALSE(o.rejected) << fine;
    EXPECT_EQ(o.text.size(), 19u) << fine;
  }

  standin_.Fault(
      "command=GetServerDateTime&mode=raw&body=%7B%22Status%22%3A0%2C%22Data%22%3A%7B%22k%22%3A%"
      "5B1%5D%7D%7D");
  o = Run(Command());
  ASSERT_TRUE(o.ok);
  Json::Value v;
  ASSERT_TRUE(Json::Reader().parse(WideToUtf8(o.text), v)) << WideToUtf8(o.text);
  EXPECT_EQ(v["k"][0].asInt(), 1);
  EXPECT_EQ(o.reply, L"{\"Status\":0,\"Data\":{\"k\":[1]}}");
}

TEST_F(WebEnvelopeE2ETest, GzipAndPlainRepliesReadTheSameButOnlyExactGzipIsInflated) {
  auto zipped = Run(Command());
  ASSERT_TRUE(zipped.ok);
  standin_.Control("settings", "gzip=0");
  auto plain = Run(Command());
  ASSERT_TRUE(plain.ok);
  EXPECT_EQ(plain.text.size(), zipped.text.size());
  standin_.Control("settings", "gzip=1");

  standin_.Fault("command=GetServerDateTime&encoding=GZIP");
  auto capitals = Run(Command());
  EXPECT_FALSE(capitals.ok);
  EXPECT_FALSE(capitals.rejected);
  EXPECT_EQ(capitals.text, L"未知错误");
  EXPECT_EQ(LogCapture::Get().CountContaining("Json Error"), 1u);

  // A gzip body that fails to inflate is a failed exchange, never an empty success.
  standin_.Fault("command=GetServerDateTime&mode=badgzip");
  auto broken = Run(Command());
  EXPECT_FALSE(broken.ok);
  EXPECT_EQ(broken.text, L"未知错误");
  EXPECT_TRUE(broken.reply.empty());
  EXPECT_TRUE(LogCapture::Get().Contains("[GetServerDateTime]OpenRequest failed:"));
}

TEST_F(WebEnvelopeE2ETest, ErrorStatusGarbageAndTimeOut) {
  // The JSON body of a server error is read like any other reply, but a
  // server error is a failed exchange, not the service refusing anything.
  standin_.Fault("command=GetServerDateTime&mode=http500");
  auto o = Run(Command());
  EXPECT_FALSE(o.ok);
  EXPECT_FALSE(o.rejected);
  EXPECT_EQ(o.text, L"服务器内部错误");
  // Below 500 an error status with a refusing envelope is the service's answer.
  standin_.Fault("command=GetServerDateTime&mode=http500&http_status=403");
  o = Run(Command());
  EXPECT_FALSE(o.ok);
  EXPECT_TRUE(o.rejected);

  LogCapture::Get().Clear();
  standin_.Fault("command=GetServerDateTime&mode=garbage");
  o = Run(Command());
  EXPECT_FALSE(o.ok);
  EXPECT_FALSE(o.rejected);
  EXPECT_EQ(o.text, L"未知错误");
  EXPECT_EQ(LogCapture::Get().CountContaining("OBGetReturnData_Json:74:Json Error:"), 1u);

  standin_.Fault("command=GetServerDateTime&mode=timeout&hold_ms=20000");
  auto job = Command();
  job->request.timeout_ms = 300;
  o = Run(std::move(job));
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.text, L"未知错误");
  auto after = Run(Command());  // the worker goes on with the next job
  EXPECT_TRUE(after.ok);
}

TEST_F(WebEnvelopeE2ETest, TransportFailureLogsHideSecretsWhileTheWireCarriesThem) {
  standin_.Fault("command=UserLogin&mode=drop");
  manager_->User().UserLogin(L"demo", L"Pa55-secret", {FromHandle::kClient, 0}, LoginFlags::kNone);
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(0) == 1; }));
  EXPECT_EQ(standin_.RequestsFor("UserLogin").at(0).Param("Password"), "Pa55-secret");
  bool logged = false;
  for (const auto& line : LogCapture::Get().Lines()) {
    EXPECT_EQ(line.find("Pa55"), std::string::npos) << line;
    if (line.find("[UserLogin]OpenRequest failed:") != std::string::npos) {
      logged = true;
      EXPECT_NE(line.find("Password=***&"), std::string::npos) << line;
      EXPECT_NE(line.find("Account=demo"), std::string::npos) << line;
    }
  }
  EXPECT_TRUE(logged);
}

TEST_F(WebEnvelopeE2ETest, AGarbledSignInReplyIsLoggedWithItsSecretsHidden) {
  // Cut off in the middle, and a Data that is a text holding JSON, broken.
  const std::string replies[] = {
      "{\"Status\":0,\"Message\":\"\",\"Data\":{\"SessionID\":\"s-SECRET-1\",\"CipherPassword\":"
      "\"c-SECRET-2\","
      "\"UserAccount\":{\"Account\":\"demo\",\"NickName\":\"cut-off-her",
      "{\"Status\":0,\"Data\":\"{\\\"SessionID\\\":\\\"s-SECRET-3\\\",\\\"CipherPassword\\\":"
      "\\\"c-SECRET-4\\\"}\""};
  for (const std::string& reply : replies) {
    standin_.Fault("command=UserLogin&mode=raw&body=" + QueryEscape(reply));
    size_t before = events_.Count(0);
    manager_->User().UserLogin(L"demo", L"ombrix2024", {FromHandle::kClient, 0},
                               LoginFlags::kRememberPassword);
    ASSERT_TRUE(PumpUntil([&] { return events_.Count(0) == before + 1; }));
    EXPECT_EQ(events_.Of(0).back().ok, 0);
  }
  size_t json_errors = 0;
  for (const auto& line : LogCapture::Get().Lines()) {
    EXPECT_EQ(line.find("SECRET"), std::string::npos) << line;
    if (line.find("OBGetReturnData_Json:74:Json Error:") == std::string::npos) continue;
    ++json_errors;
    EXPECT_NE(line.find("SessionID"), std::string::npos)
        << line;  // the rest of the reply is still there
    EXPECT_NE(line.find("***"), std::string::npos) << line;
  }
  EXPECT_EQ(json_errors, 2u);
}

TEST_F(WebEnvelopeE2ETest, HostileSignInRepliesFailTheSignInAndLeakNothing) {
  // An XML reply (too long to log whole), then JSON nested past the
  // reader's limit: bare, and as the text of Data that the sign-in reads.
  std::string xml =
      "<?xml "
      "version=\"1.0\"?><LoginResult><Status>0</Status><Data><SessionID>s-SECRET-1</SessionID>"
      "<CipherPassword>c-SECRET-2</CipherPassword><UserAccount Account=\"demo\" "
      "Ticket=\"t-SECRET-3\"/>"
      "</Data><Note>" +
      std::string(3000, 'x') + "</Note></LoginResult>";
  const std::string faults[] = {
      "mode=raw&body=" + QueryEscape(xml), "mode=nested&kind=json&depth=1001",
      "mode=nested&kind=json&depth=100000", "mode=nested&kind=json-data&depth=1001",
      "mode=nested&kind=json-data&depth=100000"};
  for (const std::string& fault : faults) {
    standin_.Fault("command=UserLogin&" + fault);
    size_t before = events_.Count(0);
    manager_->User().UserLogin(L"demo", L"ombrix2024", {FromHandle::kClient, 0},
                               LoginFlags::kRememberPassword);
    ASSERT_TRUE(PumpUntil([&] { return events_.Count(0) == before + 1; })) << fault;
    EXPECT_EQ(events_.Of(0).back().ok, 0) << fault;
    EXPECT_FALSE(manager_->User().IsLoggedIn());
  }
  size_t xml_lines = 0;
  for (const auto& line : LogCapture::Get().Lines()) {
    EXPECT_EQ(line.find("SECRET"), std::string::npos) << line;
    EXPECT_LT(line.size(), 2 * brx::http::kLoggedReplyBytes + 512) << line.substr(0, 200);
    if (line.find("OBGetReturnData_Json:74:Json Error:") == std::string::npos) continue;
    if (line.find("<LoginResult>") == std::string::npos) continue;
    ++xml_lines;
    EXPECT_NE(line.find("<SessionID>***</SessionID>"), std::string::npos) << line;
    EXPECT_NE(line.find("bytes)"), std::string::npos) << line;  // cut, and says so
  }
  EXPECT_EQ(xml_lines, 1u);

  // Signed in, a prompt reply nested too deep changes nothing.
  standin_.Control("prompt", "account=demo&about=4");
  ASSERT_TRUE(SignInDemo());
  ASSERT_TRUE(PumpUntil([&] { return events_.Count(12) == 1; }));
  standin_.Control("prompt", "account=demo&about=9");
  standin_.Fault("command=GetDataPrompt&mode=nested&kind=json-data&depth=100000");
  manager_->User().GetDataPrompt();
  ASSERT_TRUE(DrainWorker(WebLogicManager::kNormalWorker));
  EXPECT_EQ(events_.Count(12), 1u);
  EXPECT_EQ(manager_->User().new_about_user_count(), 4);
  manager_->User().GetDataPrompt();
  ASSERT_TRUE(
      PumpUntil([&] { return events_.Count(12) == 2; }));  // and the next reply is read as ever
  EXPECT_EQ(manager_->User().new_about_user_count(), 9);
}

TEST_F(WebEnvelopeE2ETest, TheTimeOutLimitsTheWaitForTheReplyNotTheWholeExchange) {
  // Each phase gets the whole time-out: a reply that takes more than half
  // of it arrives; one that takes longer than all of it does not.
  standin_.Fault("command=GetServerDateTime&mode=slow&delay_ms=700");
  auto job = Command();
  job->request.timeout_ms = 1200;
  auto o = Run(std::move(job));
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(o.text.size(), 19u);

  standin_.Fault("command=GetServerDateTime&mode=slow&delay_ms=2500");
  job = Command();
  job->request.timeout_ms = 1200;
  o = Run(std::move(job));
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.text, L"未知错误");
  EXPECT_TRUE(LogCapture::Get().Contains("[GetServerDateTime]OpenRequest failed:"));
}

TEST_F(WebEnvelopeE2ETest, ADownloadPastItsSizeOrTimeFailsOnceLoggedAndKeepsTheFileItWouldReplace) {
  WriteFile(program_.Sub("head_big.jpg"), "the picture we had");
  auto download = [&](const std::string& fault, uint64_t max_bytes, uint32_t total_ms) {
    standin_.Fault("path=/head/7_big.jpg&" + fault);
    auto job = std::make_unique<JoberDesc_WebDownload>(nullptr, FromHandle{});
    job->request.command_name = L"DownloadHeadImgBig";
    job->url.use_raw_url = true;
    job->url.raw_url = Utf8ToWide(standin_.base_url()) + L"/head/7_big.jpg";
    job->file = ProgramPath("head_big.jpg");
    job->max_bytes = max_bytes;
    job->total_ms = total_ms;
    return Run(std::move(job), std::make_unique<Jober_WebDownload>(),
               WebLogicManager::kUploadWorker);
  };
  // Without end at full speed, then a trickle that never goes idle.
  EXPECT_FALSE(download("mode=endless", 1 << 20, JoberDesc_WebDownload::kDefaultTotalMs).ok);
  EXPECT_FALSE(
      download("mode=endless&bytes_per_s=400", JoberDesc_WebDownload::kDefaultMaxBytes, 500).ok);
  EXPECT_EQ(ReadFile(program_.Sub("head_big.jpg")), "the picture we had");
  size_t size_lines = 0, time_lines = 0;
  for (const auto& line : LogCapture::Get().Lines()) {
    size_lines +=
        line.find("/head/7_big.jpg passed 1048576 bytes; request failed") != std::string::npos;
    time_lines += line.find("/head/7_big.jpg took longer than 500 ms in all; request failed") !=
                  std::string::npos;
  }
  EXPECT_EQ(size_lines, 1u);
  EXPECT_EQ(time_lines, 1u);
  EXPECT_TRUE(LogCapture::Get().Contains("[DownloadHeadImgBig]download failed[0x3f]"));
}

TEST_F(WebEnvelopeE2ETest, UploadPostsTheFileAndReadsTheXmlEnvelope) {
  std::string bytes("\xff\xd8 picture \x00 bytes", 19);
  WriteFile(program_.Sub("shot.jpg"), bytes);
  auto upload = [&] {
    auto job = std::make_unique<JoberDesc_WebUpload>(nullptr, FromHandle{});
    job->request.command_name = L"Upload";
    job->url.base = Utf8ToWide(standin_.base_url());
    job->url.path = L"UploadFile.axd";
    job->url.SetParam(L"CommandName", L"BlogImage");
    job->file = ProgramPath("shot.jpg");
    return job;
  };
  auto o = Run(upload(), std::make_unique<Jober_WebUpload>(), WebLogicManager::kUploadWorker);
  ASSERT_TRUE(o.ok);
  std::string address = WideToUtf8(o.text);
  ASSERT_EQ(address.rfind(standin_.base_url() + "/uploads/", 0), 0u) << address;
  EXPECT_EQ(ReadFile(standin_.data_dir() + address.substr(standin_.base_url().size())), bytes);
  auto r = standin_.RequestsTo("/UploadFile.axd").at(0);
  EXPECT_EQ(r.ParamKeys(), (std::vector<std::string>{"CommandName", "random_ticket", "zip"}));
  EXPECT_EQ(r.body_length, bytes.size());

  standin_.Fault("path=/UploadFile.axd&mode=status&status_json=4");
  o = Run(upload(), std::make_unique<Jober_WebUpload>(), WebLogicManager::kUploadWorker);
  EXPECT_FALSE(o.ok);
  EXPECT_TRUE(o.rejected);
  EXPECT_EQ(o.text, L"未知错误");

  auto missing = upload();
  missing->file = ProgramPath("no-such.jpg");
  o = Run(std::move(missing), std::make_unique<Jober_WebUpload>(), WebLogicManager::kUploadWorker);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.text, L"");
  EXPECT_EQ(standin_.RequestsTo("/UploadFile.axd").size(), 2u);  // nothing sent for it
  EXPECT_TRUE(LogCapture::Get().Contains("SendRequest_Upload:149:read file("));
}

}  // namespace
}  // namespace ombrix::test
