#pragma once

#include <string>

#include "uilib/winsys/ui_defs.h"
#include "uilib/controls/ui_event.h"

class TiXmlElement;

namespace uilib {

class CControlUI;
class CPaintManagerUI;

// Builds a control tree from a layout of the skin dialect (uilib/README.md).
// `xml` is either the layout text itself (it starts with "<") or a file
// name, relative to the current folder, "\" or "/" separated. Re-entrant:
// a control may build sub-trees with another builder while its attributes
// are applied. A missing or malformed file, or a tag that neither the
// library nor the callback knows, logs one clear line and returns null.
class CDialogBuilder {
 public:
  CDialogBuilder();
  ~CDialogBuilder();
  CDialogBuilder(const CDialogBuilder&) = delete;
  CDialogBuilder& operator=(const CDialogBuilder&) = delete;

  // `type` is unused (kept for the callers' shape); `pCallback` is borrowed
  // for the call; `pManager` receives the <Window> values, fonts and the
  // skin folder (when it has none) and may be null for a sub-tree.
  CControlUI* Create(const std::wstring& xml, LPCTSTR type = nullptr,
                     IDialogBuilderCallback* pCallback = nullptr,
                     CPaintManagerUI* pManager = nullptr, CControlUI* pParent = nullptr);
  // Why the last Create returned null; empty after a success.
  const std::string& GetLastErrorMessage() const { return m_sError; }

  // The library's own control for a tag, or null.
  static CControlUI* CreateBuiltinControl(const std::wstring& tag);

 private:
  bool ApplyWindowAttributes(TiXmlElement* root, CPaintManagerUI* pManager);
  CControlUI* Parse(TiXmlElement* element, CControlUI* pParent, CPaintManagerUI* pManager);

  IDialogBuilderCallback* m_pCallback = nullptr;
  std::wstring m_sSource;
  std::string m_sError;
};

}  // namespace uilib
