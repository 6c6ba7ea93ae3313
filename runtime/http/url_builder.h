#pragma once

#include <map>
#include <string>

namespace brx::http {

// Assembles a request address from a base ("http://host:port", no trailing
// slash), a path and query parameters that come out sorted by key. Values
// are UTF-8 percent-encoded (letters and digits kept, a blank becomes "+",
// every other byte "%XX"); keys are written as they stand. In raw mode the
// stored address is returned unchanged. One thread at a time.
class UrlBuilder {
 public:
  static constexpr int kEncodeUtf8 = 1;

  // A later value of the same key replaces the earlier one.
  void SetParam(const std::wstring& key, const std::wstring& value) { params_[key] = value; }

  // With `add_random_ticket` the parameter "random_ticket" is set to the
  // current tick count first (it stays set; the next call replaces it). An
  // empty path gives the bare base, without any parameters.
  std::wstring GetUrl(bool add_random_ticket);

  int encode_mode = kEncodeUtf8;
  bool use_raw_url = false;
  std::wstring base;
  std::wstring path;
  std::wstring raw_url;

  const std::map<std::wstring, std::wstring>& params() const { return params_; }

 private:
  std::map<std::wstring, std::wstring> params_;
};

// The percent-encoding of one value as described above.
std::string EncodeUrlValue(const std::wstring& value);

}  // namespace brx::http
