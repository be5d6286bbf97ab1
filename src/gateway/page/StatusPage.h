#pragma once

#include <QByteArray>

namespace tavo::gateway {
class Gateway;
class HttpFront;
} // namespace tavo::gateway

namespace tavo::gateway::page {

// The site's status page on `front`:
//   GET  /           every projector, grouped by room, rendered here (usable without script)
//   GET  /page.js    keeps the table current from /api/projectors and sends with fetch()
//   GET  /page.css
//   POST /actions    the page's form without script: token, do (see FormPost.h); a 303 back
//                    to / once every projector acknowledged, else a page saying why
// `token` empty: the page only shows. The gateway must outlive the front.
void addStatusPage(HttpFront& front, Gateway& gateway, const QByteArray& token);

// What every answer of the page carries: nothing is loaded from elsewhere, scripts only from
// the gateway's own files.
QByteArray contentSecurityPolicy();

} // namespace tavo::gateway::page
