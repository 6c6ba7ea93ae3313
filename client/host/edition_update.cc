#include "client/host/edition_update.h"

#include <cstdio>

#include "runtime/util/edition.h"
#include "runtime/util/text_convert.h"

bool ApplyEditionUpdate(const std::wstring& program_folder) {
  std::string library = brx::util::WideToUtf8(program_folder) + "/OBVerCustom.dll";
  std::string update = library + ".update";
  if (rename(update.c_str(), library.c_str()) != 0) return false;
  // Whatever read the old library before (the crash handler takes the
  // version early) must not keep its values for this start.
  brx::util::ForgetEditionValues();
  return true;
}
