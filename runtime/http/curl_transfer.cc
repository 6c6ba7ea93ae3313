#include "runtime/http/curl_transfer.h"

#include <curl/curl.h>

#include <mutex>

#include "runtime/platform/tick_clock.h"

namespace brx::http {

namespace {

constexpr int kPollCapMs = 100;

struct ProgressState {
  const ProgressCallback* progress;
  curl_off_t last_down = 0;
  curl_off_t last_up = 0;
  uint32_t last_activity = 0;
  bool stopped_by_callback = false;
};

int OnProgress(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
  auto* state = static_cast<ProgressState*>(user);
  if (dlnow != state->last_down || ulnow != state->last_up) {
    state->last_down = dlnow;
    state->last_up = ulnow;
    state->last_activity = platform::GetTickCount();
  }
  if (*state->progress && !(*state->progress)(static_cast<uint64_t>(dlnow), static_cast<uint64_t>(dltotal))) {
    state->stopped_by_callback = true;
    return 1;
  }
  return 0;
}

bool Aborted(const AbortSignal& abort) { return abort.aborted && abort.aborted(); }

}  // namespace

void EnsureCurlInitialized() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

int RunTransfer(CURL* easy, const TransferLimits& limits, const AbortSignal& abort, const ProgressCallback& progress) {
  if (Aborted(abort)) return CURLE_ABORTED_BY_CALLBACK;
  ProgressState state{&progress};
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect_ms ? limits.connect_ms : 1));
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &state);

  CURLM* multi = curl_multi_init();
  if (!multi) return CURLE_OUT_OF_MEMORY;
  curl_multi_add_handle(multi, easy);

  int result = CURLE_OK;
  bool connected = false;
  bool done = false;
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
      break;
    }
    if (Aborted(abort)) {
      result = CURLE_ABORTED_BY_CALLBACK;
      break;
    }
    // The idle clock starts once the connection stands; before that the
    // connect limit, which curl enforces itself, applies.
    uint32_t now = platform::GetTickCount();
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
    curl_multi_poll(multi, abort.wake_fd >= 0 ? &extra : nullptr, abort.wake_fd >= 0 ? 1 : 0, kPollCapMs, nullptr);
  }
  curl_multi_remove_handle(multi, easy);
  curl_multi_cleanup(multi);
  return result;
}

}  // namespace brx::http
