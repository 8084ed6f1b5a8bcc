// host/request_exchange.h - one request on the command port, read as its bytes arrive.
// The JSON is parsed part by part; the Base64 text of "arguments"."data" (a whole file, for
// add_file) is decoded straight into a file of the store, so a request carrying 200 MB holds a
// few hundred kilobytes at most.
#pragma once

#include <cstdint>
#include <memory>

#include "host/command_handlers.h"
#include "platform/port_server.h"

namespace nolt::host {

// `length` is the request's payload length from its frame.
std::unique_ptr<platform::PortExchange> makeRequestExchange(CommandHandlers& handlers,
                                                            FileStore& files, std::uint32_t length);

}  // namespace nolt::host
