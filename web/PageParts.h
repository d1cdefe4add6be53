#pragma once

// The live page, the board and their parts, all served from the program itself under a policy
// that lets them load nothing from elsewhere.
//
// Thread: the event loop's.

#include "web/Respond.h"

namespace web {

// The part at the exchange's path; 404 for anything else.
void ServePart(const Exchange& exchange);
// The page of `resource` (":/web/index.html").
void ServePage(const Exchange& exchange, const char* resource);

}  // namespace web
