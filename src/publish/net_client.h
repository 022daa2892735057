// TNetClient: the fields every network client shares (the FTP client of publishing and the
// HTTP client of the updater), with the defaults its constructor sets. Each client
// overrides the defaults it needs in its own constructor.
#pragma once

#include <string>

namespace tessavo {

class TNetClient {
 public:
  TNetClient() = default;
  virtual ~TNetClient() = default;

  std::string IPInterface = "0.0.0.0";  // local address bound before connecting
  std::string TargetHost = "127.0.0.1";
  std::string TargetPort = "0";  // number or service name
  int Timeout = 5000;            // ms, each network wait
  std::string UserName;
  std::string Password;
};

}  // namespace tessavo
