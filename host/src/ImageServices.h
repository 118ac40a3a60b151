// Registration of the host's image services: worlds ("PF World Suite" 1 and 2), fill ("PF Fill
// Matte Suite" 2), the copy and fill utility callbacks, iteration ("AEGP Iterate Suite" 1,
// "PF Iterate8 Suite" 1) and sampling ("PF Sampling8/16/Float Suite" 1). Called by the Host
// constructor.
#pragma once

namespace vhost {
class Host;
void registerImageServices(Host& host);
}  // namespace vhost
