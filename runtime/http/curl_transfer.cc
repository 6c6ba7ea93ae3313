#include "runtime/http/curl_transfer.h"

#include <curl/curl.h>

#include <mutex>

#include "runtime/http/url_redact.h"
#include "runtime/logmaker/log.h"
#include "runtime/platform/tick_clock.h"

namespace brx::http {

namespace {

constexpr int kPollCapMs = 100;

struct ProgressState {
  const ProgressCallback* progress;
  uint64_t max_reply_bytes;
  curl_off_t last_down = 0;
  curl_off_t last_up = 0;
  uint32_t last_activity = 0;
  bool stopped_by_callback = false;
  bool too_large = false;
};

int OnProgress(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
  auto* state = static_cast<ProgressState*>(user);
  if (dlnow != state->last_down || ulnow != state->last_up) {
    state->last_down = dlnow;
    state->last_up = ulnow;
    state->last_activity = platform::GetTickCount();
  }
  if (state->max_reply_bytes != 0 && static_cast<uint64_t>(dlnow) > state->max_reply_bytes) {
    state->too_large = true;
    return 1;
  }
  if (*state->progress &&
      !(*state->progress)(static_cast<uint64_t>(dlnow), static_cast<uint64_t>(dltotal))) {
    state->stopped_by_callback = true;
    return 1;
  }
  return 0;
}

bool Aborted(const AbortSignal& abort) { return abort.aborted && abort.aborted(); }

std::string EffectiveUrl(CURL* easy) {
  const char* url = nullptr;
  curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &url);
  return RedactUrlSecrets(url ? url : "");
}

}  // namespace

void LogReplyPastBound(CURL* easy, uint64_t bound) {
  LogWarnA("%s:%d:the reply from %s passed %llu bytes; request failed\n", "RunTransfer", __LINE__,
           EffectiveUrl(easy).c_str(), static_cast<unsigned long long>(bound));
}

void EnsureCurlInitialized() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

int RunTransfer(CURL* easy, const TransferLimits& limits, const AbortSignal& abort,
                const ProgressCallback& progress) {
  if (Aborted(abort)) return CURLE_ABORTED_BY_CALLBACK;
  ProgressState state{&progress, limits.max_reply_bytes};
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  // A reply that announces its length is refused before its body comes.
  curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                   static_cast<curl_off_t>(limits.max_reply_bytes));
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(limits.connect_ms ? limits.connect_ms : 1));
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &state);

  CURLM* multi = curl_multi_init();
  if (!multi) return CURLE_OUT_OF_MEMORY;
  curl_multi_add_handle(multi, easy);

  int result = CURLE_OK;
  bool connected = false;
  bool done = false;
  bool out_of_time = false;
  const uint32_t start = platform::GetTickCount();
  while (!done) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    if (running == 0) {
      int left = 0;
      result = CURLE_FAILED_INIT;
      while (CURLMsg* msg = curl_multi_info_read(multi, &left))
        if (msg->msg == CURLMSG_DONE) result = msg->data.result;
      if (state.stopped_by_callback || Aborted(abort)) result = CURLE_ABORTED_BY_CALLBACK;
      if (state.too_large) result = CURLE_FILESIZE_EXCEEDED;
      break;
    }
    if (Aborted(abort)) {
      result = CURLE_ABORTED_BY_CALLBACK;
      break;
    }
    // The idle clock starts once the connection stands; before that the
    // connect limit, which curl enforces itself, applies.
    uint32_t now = platform::GetTickCount();
    if (limits.total_ms != 0 && now - start > limits.total_ms) {
      result = CURLE_OPERATION_TIMEDOUT;
      out_of_time = true;
      break;
    }
    if (!connected) {
      curl_off_t connect_time = 0;
      curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connect_time);
      if (connect_time > 0 || state.last_down > 0 || state.last_up > 0) {
        connected = true;
        state.last_activity = now;
      }
    } else if (now - state.last_activity > limits.idle_ms) {
      result = CURLE_OPERATION_TIMEDOUT;
      break;
    }
    curl_waitfd extra{};
    extra.fd = abort.wake_fd;
    extra.events = CURL_WAIT_POLLIN;
    curl_multi_poll(multi, abort.wake_fd >= 0 ? &extra : nullptr, abort.wake_fd >= 0 ? 1 : 0,
                    kPollCapMs, nullptr);
  }
  curl_multi_remove_handle(multi, easy);
  curl_multi_cleanup(multi);
  if (result == CURLE_FILESIZE_EXCEEDED) LogReplyPastBound(easy, limits.max_reply_bytes);
  if (out_of_time)
    LogWarnA("%s:%d:%s took longer than %u ms in all; request failed\n", "RunTransfer", __LINE__,
             EffectiveUrl(easy).c_str(), limits.total_ms);
  return result;
}

}  // namespace brx::http
