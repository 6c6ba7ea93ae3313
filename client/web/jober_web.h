#pragma once

#include "client/web/jober.h"

// A JSON command to "ClientInterface.axd" (or a data-collection report):
// ok when the reply is a JSON envelope with Status 0; text = Data, the
// server's Message, or the unknown-error text.
class Jober_WebNormal : public Jober {
 public:
  void Perform(std::unique_ptr<JoberDesc_Web> job, JoberListener* listener,
               const brx::http::AbortSignal& abort) override;
};

// The file of a JoberDesc_WebUpload posted as the body; the reply is the
// XML envelope. ok when Status is 0 (text = Data, the stored file's
// address); text is empty when the file could not be read, else the
// unknown-error text.
class Jober_WebUpload : public Jober {
 public:
  void Perform(std::unique_ptr<JoberDesc_Web> job, JoberListener* listener,
               const brx::http::AbortSignal& abort) override;
};

// A GET of the job's address (with the random ticket, unless the builder
// holds a complete address) into the file of a JoberDesc_WebDownload,
// which an unfinished or failed download never replaces. text = the file,
// reply = the address.
class Jober_WebDownload : public Jober {
 public:
  void Perform(std::unique_ptr<JoberDesc_Web> job, JoberListener* listener,
               const brx::http::AbortSignal& abort) override;
};
