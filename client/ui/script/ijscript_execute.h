#pragma once

#include <cstdint>
#include <string>
#include <vector>

class JScriptDispatch;

// The arguments of a page call, in the order the script passed them.
using ScriptArgs = std::vector<std::wstring>;

// One table of page-callable methods of the main page's window.external.
// A method's place in its table (and the table's place in the dispatch)
// gives its dispatch id, so tables only ever grow at the end.
class IJScriptExecute {
 public:
  struct Entry {
    const char* name;
    // False when the call was not acted on (a wrong argument count); the
    // page is not told either way.
    bool (*callback)(IJScriptExecute* self, const ScriptArgs& args);
  };

  explicit IJScriptExecute(std::vector<Entry> entries) : entries_(std::move(entries)) {}
  virtual ~IJScriptExecute() = default;
  IJScriptExecute(const IJScriptExecute&) = delete;
  IJScriptExecute& operator=(const IJScriptExecute&) = delete;

  // Called on the GUI thread for each result message of the dispatch.
  virtual void OnResultsReady() {}

  const std::vector<Entry>& entries() const { return entries_; }
  JScriptDispatch* owner() const { return owner_; }
  void set_owner(JScriptDispatch* owner) { owner_ = owner; }

 private:
  std::vector<Entry> entries_;
  JScriptDispatch* owner_ = nullptr;
};
