#include "http/Routes.h"

#include "http/Handlers.h"
#include "http/HttpUtil.h"

namespace vokari::server {

void installRoutes(httplib::Server& s, ServerContext& ctx) {
    auto route = [&ctx](void (*handler)(ServerContext&, const httplib::Request&, httplib::Response&)) {
        return [&ctx, handler](const httplib::Request& req, httplib::Response& res) { handler(ctx, req, res); };
    };
    s.Post("/register", route(handleRegister));
    s.Post("/process", route(handleProcess));
    s.Post("/command", route(handleCommand));
    if (ctx.streaming) {
        s.Post("/process/stream",
               [&ctx](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
                   handleProcessStream(ctx, req, res, reader);
               });
    }
    s.Get("/profile", route(handleGetProfile));
    s.Post("/profile", route(handlePostProfile));
    s.Post("/style", route(handleStyle));
    s.Get("/transcripts", route(handleTranscripts));
    s.Post("/logs", route(handleLogs));
    s.Get("/update/check", route(handleUpdateCheck));
    s.Get(R"(/downloads/([^/]+))", route(handleDownload));
    s.Get("/health", [](const httplib::Request&, httplib::Response& res) { sendJson(res, 200, {{"ok", true}}); });
}

} // namespace vokari::server
