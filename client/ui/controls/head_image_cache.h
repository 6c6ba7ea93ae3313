#pragma once

#include <string>

// Where the friend and search lists keep the head images they download.

// The image address inside a head image reference: the text after its last
// ",", the whole reference when it has none, empty when "," ends it.
std::wstring HeadImageUrlOf(const std::wstring& reference);

// A new file for the image at `url` in `user_folder` + "/FriendsHeadImage/"
// (created when missing), named by a fresh GUID with the address's
// extension ("gif" when it has none). Empty when the folder cannot be made.
std::wstring NewHeadImageCachePath(const std::wstring& user_folder, const std::wstring& url);

// The file to show for a finished download: a ".gif" file whose content is
// a GIF is written again as PNG beside it under the ".jpg" name, and that
// name is returned whether or not the conversion worked; other files are
// returned as they are.
std::wstring ShowableHeadImage(const std::wstring& downloaded);

// Rewrites the file at `path` as PNG when its content is a GIF, whatever
// its name says, so that every image loader shows it. The PNG is written
// beside it first and then renamed over it, so a failure leaves the GIF in
// place. True when the file was converted.
bool ConvertGifToPngInPlace(const std::wstring& path);
