#pragma once

#include <string>

#include "runtime/http/curl_transfer.h"

// Sending one crash report to the image storage server named in the main
// client's server configuration. Every failure is silent: the uploader
// shows nothing and writes no log, and a report that could not be sent
// stays on disk.

// The image storage server's host (with an optional ":port") from the
// configuration text: the first <Server> inside the first
// <ImageStorageServer> element, found by plain text search. False when
// either pair of tags is missing.
bool FindImageStorageServer(const std::string& config_text, std::string* host);

// The report path from the command line's arguments: joined with blanks,
// then double quotes stripped from its end and then from its start.
std::string DumpPathFromArguments(int argc, char** argv);

// Compresses `dump_path` into "<dump_path>.gz" (gzip, level 6) and returns
// the compressed bytes, deleting the .gz again. False when the report
// cannot be read or the compressed file cannot be written or read back.
bool CompressDump(const std::string& dump_path, std::string* compressed);

// The whole run in the current folder: configuration ("gsc.test" when it is
// a file, else "gsc"), compression, then the POST to
// http://<server>/UploadFileDMP.ashx?fileName=<name>.gz&random_ticket=...
// `abort` cuts the POST short.
bool UploadDump(const std::string& dump_path, const brx::http::AbortSignal& abort = {});
