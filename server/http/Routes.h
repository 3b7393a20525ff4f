#pragma once
// The server's route table: every path it answers and the handler behind it. The one place routes are
// registered, so the server and the fuzz harness answer the same paths. The handlers borrow `ctx`, which must
// outlive `server`.

#include "http/ServerContext.h"

#include <httplib.h>

namespace vokari::server {

void installRoutes(httplib::Server& server, ServerContext& ctx);

} // namespace vokari::server
