#pragma once

#include <string>
#include <vector>

#include "client/ui/controls/ob_list_records.h"

// The users of a friends or search reply (a JSON array of objects with
// "UserAccountId", "NickName" and optionally "HeadImageUrl", "ProfileName"
// and "IsCertificated"), without the signed-in user (`own_id`; ids compare
// as text, whether the reply gives numbers or strings). False when the
// text is not an array or an element lacks its id or nick name.
bool ParseListUsers(const std::wstring& json, const std::wstring& own_id,
                    std::vector<OBListRecord>* users);
