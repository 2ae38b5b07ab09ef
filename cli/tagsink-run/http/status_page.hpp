// GET /: the read-only status page (HTML, CSS and JavaScript in one text, compiled into the program). It
// shows the two links (red when down), the counters, a filterable table of live values and the log tail,
// and follows /api/events. The page holds no data of its own: everything comes from the API, with the
// token the operator types in when the endpoint asks for one.
#pragma once

#include <string_view>

namespace tagsink::http {

std::string_view StatusPageHtml();

} // namespace tagsink::http
