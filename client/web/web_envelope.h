#pragma once

#include <cstddef>
#include <string>

#include "runtime/http/curl_transfer.h"

class JoberDesc_Web;
class JoberDesc_WebString_Param1;

// The web services' one small protocol: every command is a POST whose
// parameters travel in the query and whose reply is a JSON envelope
// {"Status", "Message", "Data"}; the image upload posts the file's bytes
// and gets an XML envelope back. Worker thread.

// Sends the job's request with the body (empty for commands): sets
// "zip" = "gzip", adds the random ticket, applies the job's time-out to
// every phase and inflates a gzip reply. The reply text (UTF-8 -> wide)
// goes into both strings. Always true; after a failed exchange, which is
// logged with the secrets of the address hidden, both strings are empty.
// `http_status`, when given, receives the reply's HTTP status (0 when no
// reply came).
bool PostRequest(JoberDesc_Web* job, const void* body, size_t length, std::wstring* reply,
                 std::wstring* copy, const brx::http::AbortSignal& abort = {},
                 int* http_status = nullptr);

// Reads a JSON envelope: 1 success (out = Data), 2 refused by the server
// (out = Message), 0 not JSON (out untouched; logged with the values of
// secret fields hidden). Status is read as
// text and converted with atoi, so a missing or non-numeric Status counts
// as success. An object or array Data arrives as its styled JSON text.
int OBGetReturnData_Json(const std::wstring& reply, std::wstring* out);

// Reads the job's file and posts its bytes; false (logged) when the file
// cannot be read, else the result of PostRequest.
bool SendRequest_Upload(JoberDesc_WebString_Param1* job, std::wstring* reply, std::wstring* copy,
                        const brx::http::AbortSignal& abort = {}, int* http_status = nullptr);

// Reads the XML envelope of an upload (a root element of any name with
// the children Status, Data and Message). True when the reply parsed and
// has a root element; a missing child leaves its output empty.
bool ParseXmlReturn(std::wstring* message, const std::wstring& reply, std::wstring* status,
                    std::wstring* data);
