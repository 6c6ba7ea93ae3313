// What the web service and the static content host send, through every
// reader of the client: the JSON envelope (and the sign-in and account
// records read from its Data), the upload's XML envelope and the server
// configuration. None may crash, however deep or broken the text; a text
// nested past the limits is refused, and what a log line shows of a reply
// stays short.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "client/core/event_chain.h"
#include "client/core/user_account_record.h"
#include "client/web/ob_logic_web_server_config.h"
#include "client/web/web_envelope.h"
#include "client/web/web_logic_manager.h"
#include "runtime/http/reply_redact.h"
#include "runtime/logmaker/log.h"
#include "runtime/util/text_convert.h"
#include "runtime/util/xml_parse.h"

namespace {

OBLogicWeb_ServerConfig& ServerConfig() {
  static EventChain chain;
  static WebLogicManager* manager = [] {
    // Refused replies are logged; the log is closed so that a run writes
    // nothing (the readers still build every line they would write).
    brx::logmaker::GetAppLogger()->Close();
    WebLogicOptions options;
    options.program_folder = L"/nonexistent/ombrix-fuzz";
    auto* m = new WebLogicManager(&chain, options);
    m->Start(0);
    return m;
  }();
  return manager->ServerConfig();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::wstring wide = brx::util::Utf8ToWide(text);

  std::wstring out;
  if (OBGetReturnData_Json(wide, &out) == 1) {
    UserAccountRecord record;
    ParseLoginReply(out, &record);
    ParseUserAccount(out, &record);
  }
  std::wstring message, status, payload;
  ParseXmlReturn(&message, wide, &status, &payload);

  bool parsed = ServerConfig().ParseServerConfig(text);
  ServerConfig().ClearServersForTesting();  // node names must not pile up run after run
  if (parsed && brx::util::XmlNestingDepth(text) > brx::util::kMaxXmlDepth) abort();

  if (brx::http::ReplyTextForLog(text).size() > brx::http::kLoggedReplyBytes + 32) abort();
  return 0;
}
