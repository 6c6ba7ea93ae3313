#pragma once

#include "client/app/ob_application.h"

// The parts this build of the main client is made of.
AppParts HostAppParts();
