#pragma once

// What the page and either of its modules hand each other: the page makes room for its input
// with vkd_exchange_reserve, writes it there, and reads every text result from vkd_exchange
// (vkd_exchange_size long).

#include <string>

#define VKD_EXPORT(name) extern "C" __attribute__((export_name(name)))

extern std::string exchange;
