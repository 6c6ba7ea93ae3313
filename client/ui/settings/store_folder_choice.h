#pragma once

#include <string>

// Why a folder cannot hold the screenshots, as the user reads it.
inline constexpr wchar_t kStoreFolderNotAbsolute[] = L"请选择一个完整路径的文件夹。";
inline constexpr wchar_t kStoreFolderIsSystem[] =
    L"不能把截图保存在系统文件夹中，请另选一个文件夹。";
inline constexpr wchar_t kStoreFolderNotFolder[] = L"这不是一个文件夹，请另选一个文件夹。";
inline constexpr wchar_t kStoreFolderReadOnly[] =
    L"没有在这个文件夹中保存文件的权限，请另选一个文件夹。";
inline constexpr wchar_t kStoreFolderTooBig[] =
    L"这个文件夹中的文件太多，无法及时统计大小，请另选一个文件夹。";

// A screenshot folder as the user picked or typed it, made plain: an
// absolute path with links resolved, no "." or "..", no trailing "/".
struct StoreFolderChoice {
  std::wstring folder;
  std::wstring refusal;  // empty when the folder may be used
};

// Checks a folder for the screenshots without walking it: it must be
// absolute, outside the root and the system's own folders, and a folder
// the user may write in (one that does not exist yet is made below its
// nearest existing parent, which must be such a folder). Whether it can be
// measured quickly is for a walk off the GUI thread to tell.
StoreFolderChoice CheckStoreFolder(const std::wstring& text);
