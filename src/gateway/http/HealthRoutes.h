#pragma once

namespace tavo::gateway {

class GatewayHealth;
class HttpFront;

// GET /healthz: 200 {"ok":true} while the gateway works, 503 {"ok":false,"error":REASON}
// otherwise; GET /readyz the same once every projector was polled; GET /api/gateway the
// gateway's own state (GatewayHealth::json). For load balancers, systemd-free probes and
// dashboards; read-only, no token.
void addHealthRoutes(HttpFront& front, const GatewayHealth& health);

} // namespace tavo::gateway
