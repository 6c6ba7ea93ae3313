#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "client/core/event_parameter.h"
#include "runtime/base/task.h"
#include "runtime/http/curl_transfer.h"
#include "runtime/http/url_builder.h"

namespace brx::base {
class MessageLoop;
}

// The web job: one HTTP exchange (a JSON command, a file upload or a file
// download) built on the main thread, run on a named worker thread, and
// handed back to the main thread as a result record whose callback turns
// it into an event. The main thread never waits for the network.

// What a job asks of the web service.
struct WebRequestInfo {
  static constexpr uint32_t kDefaultTimeoutMs = 10000;
  std::wstring command_name;  // "UserLogin", ...: for log lines and the server lookup
  uint32_t timeout_ms = kDefaultTimeoutMs;
  std::wstring unknown_error_text =
      L"未知错误";  // the result text when a reply cannot be understood
};

struct JoberDescReturn_Web;
using WebJobCallback = std::function<void(const JoberDescReturn_Web*)>;

// The description of one request. Created on the main thread, owned by its
// task while queued and by its result afterwards; the callback runs on the
// main thread only. Made as one of the kinds below.
class JoberDesc_Web : public FromHandle {
 public:
  virtual ~JoberDesc_Web() = default;
  JoberDesc_Web(const JoberDesc_Web&) = delete;
  JoberDesc_Web& operator=(const JoberDesc_Web&) = delete;

  const FromHandle& origin() const { return *this; }

  WebRequestInfo request;
  brx::http::UrlBuilder url;
  WebJobCallback callback;
  std::wstring label;  // no creator sets one
  // A requester that waits for the reply event (a game's post, the main
  // window's upload) must hear of a job cancelled before it ran: such a job
  // then comes back as a failed result, text = the unknown-error text.
  // Jobs dropped by a shut-down never come back.
  bool report_when_cancelled = false;

 protected:
  JoberDesc_Web(WebJobCallback callback, const FromHandle& origin)
      : FromHandle(origin), callback(std::move(callback)) {}
};

// A JSON command (Jober_WebNormal).
class JoberDesc_WebNormal : public JoberDesc_Web {
 public:
  JoberDesc_WebNormal(WebJobCallback callback, const FromHandle& origin)
      : JoberDesc_Web(std::move(callback), origin) {}
};

// A job with a local file.
class JoberDesc_WebString_Param1 : public JoberDesc_Web {
 public:
  std::wstring file;

 protected:
  using JoberDesc_Web::JoberDesc_Web;
};

// An upload (Jober_WebUpload): `file` is the file to send.
class JoberDesc_WebUpload : public JoberDesc_WebString_Param1 {
 public:
  JoberDesc_WebUpload(WebJobCallback callback, const FromHandle& origin)
      : JoberDesc_WebString_Param1(std::move(callback), origin) {}
};

// A download (Jober_WebDownload): `file` is the file to write. Pictures
// and files are larger than a web reply, yet bounded as well: past
// `max_bytes`, or when the whole download takes longer than `total_ms`, it
// fails as a network failure does and the file stays as it was.
class JoberDesc_WebDownload : public JoberDesc_WebString_Param1 {
 public:
  static constexpr uint64_t kDefaultMaxBytes = uint64_t{16} << 20;
  static constexpr uint32_t kDefaultTotalMs = 5 * 60 * 1000;

  JoberDesc_WebDownload(WebJobCallback callback, const FromHandle& origin)
      : JoberDesc_WebString_Param1(std::move(callback), origin) {}

  uint64_t max_bytes = kDefaultMaxBytes;
  uint32_t total_ms = kDefaultTotalMs;
};

// The result of a finished job, made on the worker thread. Deleting it
// deletes the job.
struct JoberDescReturn_Web {
  std::unique_ptr<JoberDesc_Web> job;
  bool ok = false;
  // The reply's Data, the server's Message, the unknown-error text, or for
  // a download the local file.
  std::wstring text;
  // The whole reply text, or for a download the address fetched.
  std::wstring reply;
  // The service answered (HTTP status below 500) and refused the request
  // (Status not 0), as opposed to a failed exchange, a server error or an
  // unreadable reply.
  bool rejected = false;
};

// Receives finished jobs on the worker thread.
class JoberListener {
 public:
  virtual ~JoberListener() = default;
  virtual void OnResult(std::unique_ptr<JoberDescReturn_Web> result) = 0;
};

// How a job is performed (a JSON command, an upload, a download).
// Stateless; runs on the worker thread.
class Jober {
 public:
  virtual ~Jober() = default;
  // Runs the exchange and hands the result to the listener. `abort` ends a
  // transfer at once when the worker stops.
  virtual void Perform(std::unique_ptr<JoberDesc_Web> job, JoberListener* listener,
                       const brx::http::AbortSignal& abort) = 0;
};

// The task a worker runs: the job, how to perform it and who hears of it.
// A task deleted unrun (cancelled, or its worker stopped) ends without a
// result, so its callback never runs, unless the job asks to be reported
// when cancelled (see JoberDesc_Web); the listener then gets a failed
// result from the thread that deleted the task.
class JoberTask : public brx::base::Task {
 public:
  JoberTask(std::unique_ptr<Jober> jober, std::unique_ptr<JoberDesc_Web> job,
            JoberListener* listener);
  ~JoberTask() override;
  void Run(brx::base::MessageLoop* loop, int64_t task_id) override;

 private:
  std::unique_ptr<Jober> jober_;
  std::unique_ptr<JoberDesc_Web> job_;
  JoberListener* listener_;
};

// A named worker thread of web jobs ("OBLogicWeb_Normal", ...): a message
// loop and nothing more.
using JobWorker = brx::base::MessageLoop;

// A result that never reached the network (ok false, text = the job's
// unknown-error text), queued like any other so that a requester waiting
// on a reply event hears of the failure.
std::unique_ptr<JoberDescReturn_Web> NewUnsentResult(std::unique_ptr<JoberDesc_Web> job);

// Posts the job to the worker; the task id, or -1 when the worker is
// stopping (the job is then dropped without a result).
int64_t PostWebJob(JobWorker* worker, std::unique_ptr<Jober> jober,
                   std::unique_ptr<JoberDesc_Web> job, JoberListener* listener);
