#include "client/ui/controls/head_image_cache.h"

#include <cstdio>
#include <cwctype>
#include <filesystem>
#include <random>
#include <system_error>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include "runtime/util/text_convert.h"

namespace {

// The extension of the address's file name, or "gif". Only a short run of
// letters and digits counts, so an address can never put a separator or
// ".." into the cache file's name.
std::wstring ExtensionOf(const std::wstring& url) {
  std::wstring name =
      url.substr(url.find_last_of(L"/\\") == std::wstring::npos ? 0 : url.find_last_of(L"/\\") + 1);
  name = name.substr(0, name.find_first_of(L"?#"));
  size_t dot = name.rfind(L'.');
  if (dot == std::wstring::npos) return L"gif";
  std::wstring ext = name.substr(dot + 1);
  if (ext.empty() || ext.size() > 8) return L"gif";
  for (wchar_t c : ext)
    if (c > 0x7F || !std::iswalnum(static_cast<wint_t>(c))) return L"gif";
  return ext;
}

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::wstring HeadImageUrlOf(const std::wstring& reference) {
  size_t comma = reference.rfind(L',');
  return comma == std::wstring::npos ? reference : reference.substr(comma + 1);
}

std::wstring NewHeadImageCachePath(const std::wstring& user_folder, const std::wstring& url) {
  std::filesystem::path folder = std::filesystem::path(user_folder) / "FriendsHeadImage";
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error || !std::filesystem::is_directory(folder, error)) return {};

  std::random_device random;
  std::mt19937_64 bits((static_cast<uint64_t>(random()) << 32) ^ random());
  unsigned char b[16];
  for (unsigned char& byte : b) byte = static_cast<unsigned char>(bits());
  uint32_t data1 = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
  wchar_t name[96];
  std::swprintf(name, 96, L"%08X-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X.%ls", data1,
                (b[4] << 8) | b[5], (b[6] << 8) | b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                b[14], b[15], ExtensionOf(url).c_str());
  return (folder / name).wstring();
}

std::wstring ShowableHeadImage(const std::wstring& downloaded) {
  if (!EndsWith(downloaded, L".gif")) return downloaded;
  std::wstring shown = downloaded.substr(0, downloaded.size() - 4) + L".jpg";
  std::string source = brx::util::WideToUtf8(downloaded);
  GdkPixbufFormat* format = gdk_pixbuf_get_file_info(source.c_str(), nullptr, nullptr);
  if (format == nullptr) return shown;
  gchar* format_name = gdk_pixbuf_format_get_name(format);
  bool is_gif = format_name != nullptr && std::string(format_name) == "gif";
  g_free(format_name);
  if (!is_gif) return shown;
  GError* error = nullptr;
  GdkPixbuf* image = gdk_pixbuf_new_from_file(source.c_str(), &error);
  if (image == nullptr) {
    g_clear_error(&error);
    return shown;
  }
  // PNG bytes under the ".jpg" name: the image loaders look at the content.
  if (!gdk_pixbuf_save(image, brx::util::WideToUtf8(shown).c_str(), "png", &error, nullptr))
    g_clear_error(&error);
  g_object_unref(image);
  return shown;
}

bool ConvertGifToPngInPlace(const std::wstring& path) {
  const std::string source = brx::util::WideToUtf8(path);
  char magic[6] = {};
  if (FILE* file = std::fopen(source.c_str(), "rb")) {
    size_t read = std::fread(magic, 1, sizeof(magic), file);
    std::fclose(file);
    if (read != sizeof(magic)) return false;
  } else {
    return false;
  }
  if (std::string(magic, 6) != "GIF87a" && std::string(magic, 6) != "GIF89a") return false;
  GError* error = nullptr;
  GdkPixbuf* image = gdk_pixbuf_new_from_file(source.c_str(), &error);
  if (image == nullptr) {
    g_clear_error(&error);
    return false;
  }
  const std::string temporary = source + ".png.part";
  bool saved = gdk_pixbuf_save(image, temporary.c_str(), "png", &error, nullptr);
  g_object_unref(image);
  if (!saved) {
    g_clear_error(&error);
    std::remove(temporary.c_str());
    return false;
  }
  std::error_code rename_error;
  std::filesystem::rename(temporary, source, rename_error);
  if (rename_error) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}
