#include "web/core/Exchange.h"

std::string exchange;

VKD_EXPORT("vkd_exchange_reserve") char* ExchangeReserve(int size) {
    exchange.assign(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    return exchange.data();
}
VKD_EXPORT("vkd_exchange") const char* Exchange() {
    return exchange.data();
}
VKD_EXPORT("vkd_exchange_size") int ExchangeSize() {
    return static_cast<int>(exchange.size());
}
