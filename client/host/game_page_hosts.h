#pragma once

#include "client/core/gamelink/game_link_services.h"

// Where the pages a game opens live. Deployment values:
//   - OMBRIX_HOME_PAGE_HOST ("http://host[:port]") names the product's home
//     page host, OMBRIX_ACCOUNT_PAGE_HOST the account provider's;
//   - an unset one is the static content host (see ServerConfigAddress:
//     OMBRIX_STATIC_HOST, else the edition's global-configuration address).
inline constexpr char kHomePageHostVariable[] = "OMBRIX_HOME_PAGE_HOST";
inline constexpr char kAccountPageHostVariable[] = "OMBRIX_ACCOUNT_PAGE_HOST";

GamePageHosts HostGamePageHosts();
