#pragma once
// Feature 0x0020: the configuration cookie through which a host tells whether it configured the
// device, and learns when another program wrote one.

#include <cstdint>

namespace dovod {

class IFeature0020ConfigChange {
 public:
  class ConfigReport {
   public:
    virtual ~ConfigReport() = default;
    // Another program (software id `swid`) wrote `cookie`.
    virtual void onCookieSet(unsigned swid, std::uint16_t cookie) {}
  };

  virtual ~IFeature0020ConfigChange() = default;
  virtual bool GetCookie(std::uint16_t* cookie) = 0;
  virtual bool SetCookie(std::uint16_t cookie) = 0;
};

}  // namespace dovod
