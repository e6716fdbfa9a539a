#include "distribution/brand_info.h"

#include "base/string_conv.h"
#include "build_config.h"

namespace distribution {

void BrandInfo::ApplyDefaults() {
  if (brand_id.empty())
    brand_id = "tarnix";
  if (brand_name.empty())
    brand_name = brand_id;
  if (setup_url.empty()) {
    setup_url = "https://" + base::NarrowLow8(TX_CDN_HOST) + "/browser/" + brand_id +
                "/browser-setup.arc";
  }
}

}  // namespace distribution
