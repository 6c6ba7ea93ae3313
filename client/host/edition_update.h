#pragma once

#include <string>

// Puts a waiting "OBVerCustom.dll.update" in place of "OBVerCustom.dll" in
// `program_folder` and makes the edition values be read from the new
// library. The replacement is a rename, so a copy of the old library that
// is mapped somewhere is never overwritten in place. A failed replacement
// leaves both files as they are. True when the update was applied.
bool ApplyEditionUpdate(const std::wstring& program_folder);
