#include "forms/Conf/pages.h"

namespace {

using enum orbex::Page;
constexpr PageInfo kPages[] = {
    {General, "TabSheet1", "Общие"},     {Network, "TabSheet2", "Сеть"},
    {Video, "TabSheet4", "Видео"},       {Devices, "TabSheet6", "Перенаправление устройств"},
    {Printer, "TabSheet5", "Принтер"},   {Ports, "TabSheet7", "COM порты"},
    {Vnc, "TabSheet3", "Настройки VNC"}, {WiFi, "TabSheet8", "Wi-Fi"},
};

}  // namespace

std::span<const PageInfo> pages() {
    return kPages;
}
