#include "uilib/builder/dialog_builder.h"

#include <tinyxml.h>

#include <algorithm>
#include <memory>

#include "runtime/logmaker/log.h"
#include "runtime/util/text_convert.h"
#include "uilib/controls/browser_slot_ui.h"
#include "uilib/controls/button_ui.h"
#include "uilib/controls/combo_ui.h"
#include "uilib/controls/container_ui.h"
#include "uilib/controls/control_ui.h"
#include "uilib/paint/image_spec.h"
#include "uilib/controls/label_ui.h"
#include "uilib/controls/list_ui.h"
#include "uilib/controls/option_ui.h"
#include "uilib/controls/paint_manager_ui.h"
#include "uilib/controls/rich_edit_ui.h"

namespace uilib {

namespace {

std::wstring W(const char* s) { return s ? brx::util::Utf8ToWide(s) : std::wstring(); }

bool IsInline(const std::wstring& xml) {
  for (wchar_t c : xml) {
    if (c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == 0xFEFF) continue;
    return c == L'<';
  }
  return false;
}

}  // namespace

CDialogBuilder::CDialogBuilder() = default;
CDialogBuilder::~CDialogBuilder() = default;

CControlUI* CDialogBuilder::CreateBuiltinControl(const std::wstring& tag) {
  if (tag == L"Control") return new CControlUI;
  if (tag == L"Container") return new CContainerUI;
  if (tag == L"VerticalLayout") return new CVerticalLayoutUI;
  if (tag == L"HorizontalLayout") return new CHorizontalLayoutUI;
  if (tag == L"TileLayout") return new CTileLayoutUI;
  if (tag == L"Label") return new CLabelUI;
  if (tag == L"Text") return new CTextUI;
  if (tag == L"Button") return new CButtonUI;
  if (tag == L"Option" || tag == L"CheckBox") return new COptionUI;
  if (tag == L"RichEdit" || tag == L"Edit") return new CRichEditUI;
  if (tag == L"Combo") return new CComboUI;
  if (tag == L"List") return new CListUI;
  if (tag == L"ListLabelElement" || tag == L"ListElement") return new CListLabelElementUI;
  if (tag == L"Browser") return new CBrowserSlotUI;
  return nullptr;
}

CControlUI* CDialogBuilder::Create(const std::wstring& xml, LPCTSTR type,
                                   IDialogBuilderCallback* pCallback, CPaintManagerUI* pManager,
                                   CControlUI* pParent) {
  (void)type;
  m_sError.clear();
  m_pCallback = pCallback;
  TiXmlDocument doc;
  std::string folder;
  if (IsInline(xml)) {
    m_sSource = L"(inline layout)";
    std::string text = brx::util::WideToUtf8(xml);
    doc.Parse(text.c_str(), nullptr, TIXML_ENCODING_UTF8);
    if (doc.Error()) {
      m_sError = std::string("inline layout is not well-formed: ") + doc.ErrorDesc() + " at row " +
                 std::to_string(doc.ErrorRow());
    }
  } else {
    m_sSource = xml;
    std::string path = brx::util::WideToUtf8(xml);
    std::replace(path.begin(), path.end(), '\\', '/');
    size_t slash = path.rfind('/');
    folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
    if (!doc.LoadFile(path.c_str(), TIXML_ENCODING_UTF8)) {
      if (doc.ErrorId() == TiXmlBase::TIXML_ERROR_OPENING_FILE) {
        m_sError = "layout file " + path + " cannot be opened";
      } else {
        m_sError = "layout file " + path + " is not well-formed: " + doc.ErrorDesc() + " at row " +
                   std::to_string(doc.ErrorRow());
      }
    }
  }
  CControlUI* root = nullptr;
  if (m_sError.empty()) {
    TiXmlElement* top = doc.RootElement();
    if (!top) {
      m_sError = "layout has no root element";
    } else {
      // A window's own layout sets the window's values; a sub-layout built
      // into a window that already has its tree leaves them alone.
      const bool window_layout = pManager && !pManager->GetRoot() && !pParent;
      if (window_layout && !folder.empty() && std::string(top->Value()) == "Window") {
        pManager->SetSkinFolder(brx::util::Utf8ToWide(folder));
      }
      TiXmlElement* first = top;
      if (std::string(top->Value()) == "Window") {
        if (window_layout) ApplyWindowAttributes(top, pManager);
        first = nullptr;
        for (TiXmlElement* e = top->FirstChildElement(); e; e = e->NextSiblingElement()) {
          std::string tag = e->Value();
          if (tag == "Font" || tag == "Default" || tag == "Image") continue;
          first = e;
          break;
        }
        if (!first) m_sError = "layout's <Window> has no control";
      }
      if (first) root = Parse(first, pParent, pManager);
    }
  }
  m_pCallback = nullptr;
  if (!root) {
    if (m_sError.empty()) m_sError = "layout could not be built";
    LogError(L"CDialogBuilder::Create: %ls: %ls\n", m_sSource.c_str(),
             brx::util::Utf8ToWide(m_sError).c_str());
  }
  return root;
}

bool CDialogBuilder::ApplyWindowAttributes(TiXmlElement* root, CPaintManagerUI* pManager) {
  if (!pManager) return true;
  for (TiXmlAttribute* a = root->FirstAttribute(); a; a = a->Next()) {
    std::string name = a->Name();
    std::wstring value = W(a->Value());
    SIZE sz;
    RECT rc;
    uint32_t color;
    if (name == "size") {
      if (ParseSize(value, &sz)) pManager->SetInitSize(sz.cx, sz.cy);
    } else if (name == "caption") {
      if (ParseRect(value, &rc)) pManager->SetCaptionRect(rc);
    } else if (name == "roundcorner") {
      if (ParseSize(value, &sz)) pManager->SetRoundCorner(sz.cx, sz.cy);
    } else if (name == "mininfo") {
      if (ParseSize(value, &sz)) pManager->SetMinInfo(sz.cx, sz.cy);
    } else if (name == "maxinfo") {
      if (ParseSize(value, &sz)) pManager->SetMaxInfo(sz.cx, sz.cy);
    } else if (name == "sizebox") {
      if (ParseRect(value, &rc)) pManager->SetSizeBox(rc);
    } else if (name == "bkcolor") {
      if (ParseColor(value, &color)) pManager->SetDefaultBkColor(color);
    } else if (name == "defaultfontcolor") {
      if (ParseColor(value, &color)) pManager->SetDefaultFontColor(color);
    } else if (name == "disabledfontcolor") {
      if (ParseColor(value, &color)) pManager->SetDefaultDisabledColor(color);
    }
  }
  for (TiXmlElement* e = root->FirstChildElement("Font"); e; e = e->NextSiblingElement("Font")) {
    FontInfo font;
    if (const char* n = e->Attribute("name")) font.family = W(n);
    int size = 0;
    if (e->QueryIntAttribute("size", &size) == TIXML_SUCCESS && size > 0) font.size = size;
    font.bold = e->Attribute("bold") && std::string(e->Attribute("bold")) == "true";
    font.underline = e->Attribute("underline") && std::string(e->Attribute("underline")) == "true";
    const bool is_default =
        e->Attribute("default") && std::string(e->Attribute("default")) == "true";
    pManager->AddFont(font, is_default);
  }
  return true;
}

CControlUI* CDialogBuilder::Parse(TiXmlElement* element, CControlUI* pParent,
                                  CPaintManagerUI* pManager) {
  const std::wstring tag = W(element->Value());
  std::unique_ptr<CControlUI> control(CreateBuiltinControl(tag));
  if (!control && m_pCallback) control.reset(m_pCallback->CreateControl(tag.c_str()));
  if (!control) {
    m_sError = "unknown control class <" + std::string(element->Value()) + "> at row " +
               std::to_string(element->Row());
    return nullptr;
  }
  CControlUI* raw = control.get();
  // Join the tree first, so that attributes that look at the window (option
  // groups, sub-layouts of custom controls) see it.
  IContainerUI* container =
      pParent ? static_cast<IContainerUI*>(pParent->GetInterface(kInterfaceIContainer)) : nullptr;
  if (container) {
    if (!container->Add(control.release())) {
      m_sError =
          "control <" + std::string(element->Value()) + "> could not be added to its container";
      return nullptr;
    }
  } else if (pManager) {
    raw->SetManager(pManager, nullptr, false);
  }
  for (TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next()) {
    std::wstring name = W(a->Name());
    std::wstring value = W(a->Value());
    raw->SetAttribute(name.c_str(), value.c_str());
  }
  if (element->FirstChildElement()) {
    if (!raw->GetInterface(kInterfaceIContainer)) {
      m_sError = std::string(element->Value());
      m_sError.insert(0, 1, '<');
      m_sError.append("> at row ")
          .append(std::to_string(element->Row()))
          .append(" cannot hold controls");
      if (container)
        container->Remove(raw);
      else
        delete control.release();
      return nullptr;
    }
    for (TiXmlElement* child = element->FirstChildElement(); child;
         child = child->NextSiblingElement()) {
      if (!Parse(child, raw, pManager)) {
        if (container)
          container->Remove(raw);
        else
          delete control.release();
        return nullptr;
      }
    }
  }
  if (!container) {
    // A root stays unbound: AttachDialog (or the caller's Add) binds it.
    if (pManager) raw->SetManager(nullptr, nullptr, false);
    return control.release();
  }
  return raw;
}

}  // namespace uilib
