#include "client/web/jober.h"

#include "runtime/base/message_loop.h"

JoberTask::JoberTask(std::unique_ptr<Jober> jober, std::unique_ptr<JoberDesc_Web> job,
                     JoberListener* listener)
    : Task("JoberTask"), jober_(std::move(jober)), job_(std::move(job)), listener_(listener) {}

JoberTask::~JoberTask() {
  if (job_ && job_->report_when_cancelled && listener_)
    listener_->OnResult(NewUnsentResult(std::move(job_)));
}

void JoberTask::Run(brx::base::MessageLoop* loop, int64_t) {
  brx::http::AbortSignal abort;
  if (loop) {
    abort.aborted = [loop] { return loop->IsStopping(); };
    abort.wake_fd = loop->stop_event().fd();
  }
  jober_->Perform(std::move(job_), listener_, abort);
}

std::unique_ptr<JoberDescReturn_Web> NewUnsentResult(std::unique_ptr<JoberDesc_Web> job) {
  auto result = std::make_unique<JoberDescReturn_Web>();
  result->text = job->request.unknown_error_text;
  result->job = std::move(job);
  return result;
}

int64_t PostWebJob(JobWorker* worker, std::unique_ptr<Jober> jober,
                   std::unique_ptr<JoberDesc_Web> job, JoberListener* listener) {
  return worker->PostTask(std::make_unique<JoberTask>(std::move(jober), std::move(job), listener));
}
