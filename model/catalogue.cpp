#include "model/catalogue.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace orbex {
namespace {

constexpr ValueChoice kKeymap[] = {
    {"409", "Английский"},  {"419", "Русский"},   {"422", "Украинский"},  {"407", "Немецкий"},
    {"40C", "Французский"}, {"40D", "Финский"},   {"410", "Итальянский"}, {"415", "Польский"},
    {"423", "Белорусский"}, {"425", "Эстонский"}, {"426", "Латвийский"},  {"427", "Литовский"},
};
constexpr ValueChoice kExit[] = {{"menu", "Меню"}, {"msg", "Сообщение"}, {"off", "Выключить"}};
constexpr ValueChoice kPrinter[] = {{"off", "Нет"}, {"lpt", "LPT"}, {"usb", "USB"}};
constexpr ValueChoice kCom[] = {{"off", "выкл"}, {"ser", "сервис"}, {"on", "вкл"}};
constexpr ValueChoice kRazr[] = {
    {"1024x768", "1024x768"},   {"640x480", "640x480"},     {"720x540", "720x540"},
    {"800x600", "800x600"},     {"848x480", "848x480"},     {"960x720", "960x720"},
    {"1072x600", "1072x600"},   {"1152x864", "1152x864"},   {"1280x720", "1280x720"},
    {"1280x1024", "1280x1024"}, {"1360x768", "1360x768"},   {"1600x1200", "1600x1200"},
    {"1800x1012", "1800x1012"}, {"1920x1080", "1920x1080"}, {"1920x1440", "1920x1440"},
    {"2048x1152", "2048x1152"},
};
constexpr ValueChoice kColor[] = {{"16", "16"}, {"8", "8"}, {"24", "24"}, {"32", "32"}};
constexpr ValueChoice kRefresh[] = {
    {"auto", "Авто"}, {"60", "60"},   {"65", "65"},   {"70", "70"},
    {"75", "75"},     {"80", "80"},   {"85", "85"},   {"90", "90"},
    {"95", "95"},     {"100", "100"}, {"105", "105"}, {"110", "110"},
    {"120", "120"},   {"130", "130"}, {"140", "140"}, {"150", "150"},
};
constexpr ValueChoice kMouse[] = {{"auto", "Авто"}, {"com", "COM"}, {"ps2", "PS2/USB"}};
constexpr ValueChoice kMouseAccel[] = {{"auto", "Авто"}, {"2", "2"}, {"3", "3"}, {"4", "4"},
                                       {"5", "5"},       {"6", "6"}, {"7", "7"}, {"8", "8"}};
constexpr ValueChoice kCach[] = {
    {"on", "Нормальное"}, {"off", "Отключено"}, {"max", "Максимальное"}};
constexpr ValueChoice kWauthmode[] = {{"OPEN", "OPEN"}, {"SHARED", "SHARED"}};
constexpr ValueChoice kWifi[] = {{"rt61", "DWL-G510 (Чипсет RT61)"}};
constexpr ValueChoice kWkeytype[] = {{"ascii", "ASCII"}, {"hex", "16-тиричный"}};

// Values ending in "_x" show " + X", values holding "fb" (but not "fbdev") show " + FB".
constexpr ValueChoice kChipset[] = {
    {"auto", "Авто"},
    {"autofb", "Авто + FB"},
    {"auto_x", "Авто + X"},
    {"fbdev_x", "Авто + FB + X"},
    {"VESA", "Универсальный драйвер VESA"},
    {"vesa_x", "Универсальный драйвер VESA + X"},
    {"ALI", "Чипсеты ALi"},
    {"APM", "Alliance ProMotion"},
    {"ARK", "Чипсеты ARK Logic"},
    {"ark_x", "ARK Logic + X"},
    {"geode_x", "AMD Geode + X"},
    {"ATI", "Старые чипсеты ATI VGA"},
    {"MACH32", "ATI Mach32"},
    {"atyfb", "ATI Mach64 + FB"},
    {"ati_x", "ATI + X"},
    {"R128", "Ati Rage128 и Radeon"},
    {"aty128fb", "Ati Rage128 + FB"},
    {"r128_x", "Ati Rage128 + X"},
    {"RAGE", "ATI Rage и Mach64"},
    {"radeonfb", "ATI Radeon + FB"},
    {"radeon_x", "ATI Radeon + X"},
    {"radeonhd_x", "ATI Radeon HD + X"},
    {"BANSHEE", "3Dfx Banshee и Voodoo3"},
    {"tdfx_x", "3Dfx Voodoo3/4/5 + X"},
    {"MX", "Чипсеты Macronix MX"},
    {"CHIPS", "Chips &amp; Technologies"},
    {"chips_x", "Chips and Technologies + X"},
    {"CIRRUS", "Cirrus Logic"},
    {"LAGUNA", "Cirrus Logic Laguna"},
    {"cirrusfb", "Cirrus Logic + FB"},
    {"cirrus_x", "Cirrus Logic + X"},
    {"ET4000", "Tseng Labs ET4000"},
    {"ET6000", "Tseng Labs ET6000"},
    {"tseng_x", "Tseng Labs + X"},
    {"G400", "Matrox G400"},
    {"G450C2", "Matrox Mystique(1064) новый"},
    {"MILLENNIUM", "Matrox Millennium"},
    {"matroxfb_base", "Matrox Millennium, Mystique, G100/G200 + FB"},
    {"mga_x", "Matrox + X"},
    {"I740", "Intel i740"},
    {"i740_x", "Intel i740 + X"},
    {"I810", "Intel i810"},
    {"i810fb", "Intel i810 + FB"},
    {"intelfb", "Intel i830/45/52/55/65 i915 + FB"},
    {"intel_x", "Intel i810/15/30/45/52/55/65 i915/25 + X"},
    {"NV3", "NVidia Riva 128"},
    {"rivafb", "NVidia Riva TNT + FB"},
    {"nvidiafb", "NVidia GeForce + FB"},
    {"nv_x", "NVidia + X"},
    {"OAK", "Чипсеты Oak Technology"},
    {"PARADISE", "Western Digital Paradise"},
    {"S3", "Чипсеты S3"},
    {"s3_x", "Чипсеты S3 + X"},
    {"SAVAGE", "S3 Savage"},
    {"s3virge_x", "S3 ViRGE + X"},
    {"savagefb", "S3 Savage + FB"},
    {"savage_x", "S3 Savage + X"},
    {"SIS", "Чипсеты SiS"},
    {"sisfb", "Чипсеты SiS + FB"},
    {"sis_x", "Чипсеты SiS + X"},
    {"TRIDENT", "Чипсеты Trident"},
    {"TVGA", "Trident TVGA"},
    {"tridentfb", "Чипсеты Trident + FB"},
    {"trident_x", "Чипсеты Trident + X"},
    {"UNICHROME", "VIA UniChrome"},
    {"viafb", "Чипсеты VIA + FB"},
    {"via_x", "Чипсеты VIA + X"},
    {"openchrome_x", "VIA OpenChrome + X"},
    {"uni_x", "VIA UniChrome + X"},
    {"cyrix_x", "Cyrix MediaGX + X"},
    {"vmware_x", "VMWare Workstation + X"},
    {"i128_x", "Number Nine I128 + X"},
    {"neomagic_x", "NeoMagic + X"},
    {"rendition_x", "Rendition Verite + X"},
    {"tga_x", "DEC TGA + X"},
    {"voodoo_x", "3Dfx Voodoo1/2 + X"},
    {"xgi_x", "XGI + X"},
};

constexpr ValueChoice kSpeed[] = {{"9600", "9600"},   {"300", "300"},     {"1200", "1200"},
                                  {"2400", "2400"},   {"4800", "4800"},   {"19200", "19200"},
                                  {"38400", "38400"}, {"57600", "57600"}, {"115200", "115200"}};
constexpr ValueChoice kParity[] = {{"NONE", "NONE"}, {"EVEN", "EVEN"}, {"ODD", "ODD"}};
constexpr ValueChoice kDataBits[] = {{"8DATABITS", "8DATABITS"}, {"7DATABITS", "7DATABITS"}};
constexpr ValueChoice kStopBits[] = {{"1STOPBIT", "1STOPBIT"}, {"2STOPBITS", "2STOPBITS"}};

using enum Kind;
using enum Check;
using enum Page;
using enum Rule;

// One row per key, in catalogue order: reading and the clean-up filter try keys in this order.
// clang-format off
constexpr Param kParams[kKeyCount] = {
    {.key = "USERN", .kind = Text, .caption = "Имя пользователя: ", .review = 1, .page = General, .row = 1},
    {.key = "PASSW", .kind = Text, .caption = "Пароль: ", .review = 2, .page = General, .row = 2, .flags = Masked | Secret},
    {.key = "DOMAIN", .kind = Text, .caption = "Домен: ", .review = 3, .page = General, .row = 3},
    {.key = "MNAME", .kind = Text, .caption = "Имя терминала:", .review = 4, .page = General, .row = 4},
    {.key = "CMD", .kind = Text, .caption = "Удаленный шелл: ", .review = 5, .page = General, .row = 5},
    {.key = "DIR", .kind = Text, .caption = "Рабочий каталог:", .review = 6, .page = General, .row = 6},
    {.key = "KEYMAP", .kind = Choice, .table = kKeymap, .caption = "Раскладка клавиатуры:", .description = "Раскладка клавиатуры", .review = 7, .page = General, .row = 7, .label = "Label1", .flags = Editable},
    {.key = "AUTOSTART", .kind = Switch, .caption = "Автостарт:", .description = "Автостарт", .review = 8, .page = General, .row = 8, .label = "Label2"},
    {.key = "COMPRESS", .kind = Switch, .caption = "Сжатие RDP:", .description = "Сжатие RDP", .review = 9, .page = General, .row = 9, .label = "Label3"},
    {.key = "POWEROFF", .kind = Text, .check = Number, .caption = "Автовыключение:", .review = 11, .page = General, .row = 11},
    {.key = "NUMLOCK", .kind = Switch, .caption = "NumLock:", .description = "NumLock", .review = 10, .page = General, .row = 10, .label = "Label4"},
    {.key = "KEEP", .kind = Switch, .caption = "KeepAlive: ", .description = "KeepAlive", .review = 13, .page = General, .row = 13, .label = "Label34"},
    {.key = "CRYPT", .kind = Switch, .caption = "Шифрование: ", .description = "Шифрование", .review = 14, .page = General, .row = 14, .label = "Label38"},
    {.key = "APM", .kind = Switch, .caption = "Управление питанием: ", .description = "Управление питанием", .review = 15, .page = General, .row = 15, .label = "Label39"},
    {.key = "DHCP", .kind = Switch, .caption = "Использовать DHCP:", .description = "Использовать DHCP", .review = 16, .page = Network, .row = 1, .label = "Label6", .rule = WhenUnchecked},
    {.key = "TSERV", .kind = Text, .check = AddressList, .caption = "IP сервера терминалов:", .review = 17, .page = Network, .row = 2, .follows = "DHCP"},
    {.key = "VNCS", .kind = Text, .check = AddressList, .caption = "VNC сервера: ", .review = 18, .page = Network, .row = 3, .follows = "DHCP"},
    {.key = "TELS", .kind = Text, .check = AddressList, .caption = "Telnet сервера: ", .review = 19, .page = Network, .row = 4, .follows = "DHCP"},
    {.key = "SSHS", .kind = Text, .check = AddressList, .caption = "SSH сервера: ", .review = 20, .page = Network, .row = 5, .follows = "DHCP"},
    {.key = "IP", .kind = Text, .check = Address, .caption = "IP терминала: ", .review = 21, .page = Network, .row = 6, .follows = "DHCP"},
    {.key = "NMASK", .kind = Text, .caption = "Маска сети: ", .review = 22, .page = Network, .row = 7, .follows = "DHCP"},
    {.key = "ROUTER", .kind = Text, .check = Address, .caption = "Маршрутизатор: ", .review = 23, .page = Network, .row = 8, .follows = "DHCP"},
    {.key = "TFTP", .kind = Text, .check = Address, .caption = "TFTP сервер: ", .review = 24, .page = Network, .row = 10, .follows = "DHCP"},
    {.key = "DNS", .kind = Text, .check = Address, .caption = "DNS: ", .review = 25, .page = Network, .row = 9, .follows = "DHCP"},
    {.key = "VNC_TRUECOLOR", .kind = Switch, .caption = "Полный цвет:", .description = "Полный цвет", .review = 83, .page = Vnc, .row = 1, .label = "Label20"},
    {.key = "VNC_SHARED", .kind = Switch, .caption = "Общий доступ к сессии:", .description = "Общий доступ к сессии", .review = 84, .page = Vnc, .row = 2, .label = "Label19"},
    {.key = "VNC_ASKPORT", .kind = Switch, .caption = "Спрашивать порт:", .description = "Спрашивать порт", .review = 85, .page = Vnc, .row = 3, .label = "Label18"},
    {.key = "VNCPORT", .kind = Text, .check = Number, .caption = "Номер VNC порта:", .review = 86, .page = Vnc, .row = 4},
    {.key = "VNCPASSWD", .kind = Text, .caption = "Пароль VNC:", .review = 87, .page = Vnc, .row = 5, .flags = Secret},
    {.key = "VIDEO"},
    {.key = "RAZR", .kind = Choice, .table = kRazr, .caption = "Разрешение:", .description = "Разрешение", .review = 26, .page = Video, .row = 1, .label = "Label22"},
    {.key = "COLOR", .kind = Choice, .table = kColor, .caption = "Глубина цвета (бит):", .description = "Глубина цвета (бит)", .review = 27, .page = Video, .row = 2, .label = "Label23"},
    {.key = "REFRESH", .kind = Choice, .table = kRefresh, .caption = "Частота развертки:", .description = "Частота развертки", .review = 28, .page = Video, .row = 3, .label = "Label24"},
    {.key = "CHIPSET", .kind = Choice, .table = kChipset, .caption = "Видеодрайвер:", .description = "Видеодрайвер", .review = 29, .page = Video, .row = 4, .label = "Label25", .width = 298},
    // The fifth letter of both texts is the Latin c.
    {.key = "INTERLACED", .kind = Switch, .caption = "Череcстрочный режим:", .description = "Череcстрочный режим", .review = 30, .page = Video, .row = 5, .label = "Label26"},
    {.key = "MOUSE", .kind = Choice, .table = kMouse, .caption = "Мышь:", .description = "Мышь", .review = 31, .page = Video, .row = 6, .label = "Label27"},
    {.key = "MOUSE_ACCEL", .kind = Choice, .table = kMouseAccel, .caption = "Скорость мыши:", .description = "Скорость мыши", .review = 32, .page = Video, .row = 7, .label = "Label28"},
    {.key = "MOUSE_ACCELERATION", .kind = Text, .caption = "Скорость X мыши:", .review = 33, .page = Video, .row = 8},
    {.key = "W", .kind = Switch, .caption = "Фоновый рисунок:", .description = "Фоновый рисунок", .review = 34, .page = Video, .row = 9, .label = "Label29"},
    {.key = "F", .kind = Switch, .caption = "Содержимое окна:", .description = "Содержимое окна", .review = 35, .page = Video, .row = 10, .label = "Label30"},
    {.key = "M", .kind = Switch, .caption = "Визуальные эффекты:", .description = "Визуальные эффекты", .review = 36, .page = Video, .row = 11, .label = "Label31"},
    {.key = "T", .kind = Switch, .caption = "Темы:", .description = "Темы", .review = 37, .page = Video, .row = 12, .label = "Label32"},
    {.key = "CACH", .kind = Choice, .table = kCach, .caption = "Кэширование:", .description = "Кэширование", .review = 38, .page = Video, .row = 13, .label = "Label33"},
    {.key = "KDELAY", .kind = Text, .check = Number, .caption = "Задержка повтора:", .review = 39, .page = Video, .row = 14},
    {.key = "KRATE", .kind = Text, .check = Number, .caption = "Количество повторов:", .review = 40, .page = Video, .row = 15},
    {.key = "PRINTER", .kind = Choice, .table = kPrinter, .caption = "Тип принтера:", .description = "Тип принтера", .review = 52, .page = Printer, .row = 1, .label = "Label10", .rule = WhenNotItem1},
    {.key = "PRINTER_W", .kind = Switch, .caption = "Односторонний обмен:", .description = "Односторонний обмен", .review = 53, .page = Printer, .row = 2, .label = "Label11", .follows = "PRINTER"},
    {.key = "PRINTER_P"},
    {.key = "PRINTER2", .kind = Switch, .caption = "Второй принтер:", .description = "Второй принтер", .review = 54, .page = Printer, .row = 3, .label = "Label40"},
    {.key = "FLOPPY", .kind = Switch, .caption = "Дисководы:", .description = "Дисководы", .review = 41, .page = Devices, .row = 2, .tab = 1, .label = "Label7"},
    {.key = "CDROMS", .kind = Switch, .caption = "CD-ROM:", .description = "CD-ROM", .review = 42, .page = Devices, .row = 3, .tab = 2, .label = "Label8"},
    {.key = "FLASH", .kind = Switch, .caption = "Flash диски:", .description = "Flash диски", .review = 43, .page = Devices, .row = 5, .tab = 3, .label = "Label9"},
    {.key = "HD", .kind = Switch, .caption = "Локальные диски:", .description = "Локальные диски", .review = 44, .page = Devices, .row = 6, .tab = 4, .label = "Label13"},
    {.key = "SOUND", .kind = Switch, .caption = "Звук:", .description = "Звук", .review = 45, .page = Devices, .row = 7, .tab = 5, .label = "Label14", .rule = WhenChecked},
    {.key = "SAMBA", .kind = Switch, .caption = "Перенаправление SAMBA:", .description = "Перенаправление SAMBA", .review = 50, .page = Devices, .row = 1, .tab = 10, .label = "Label41"},
    {.key = "USB_SND", .kind = Switch, .caption = "USB звук:", .description = "USB звук", .review = 46, .page = Devices, .row = 9, .tab = 7, .label = "Label15", .follows = "SOUND"},
    {.key = "COM", .kind = Choice, .table = kCom, .caption = "COM порты:", .description = "COM порты", .review = 55, .page = Ports, .row = 1, .label = "Label12", .rule = WhenItem2},
    {.key = "SCARD", .kind = Switch, .caption = "Смарт карты:", .description = "Смарт карты", .review = 47, .page = Devices, .row = 10, .tab = 8, .label = "Label16", .rule = WhenChecked},
    {.key = "SCOFF", .kind = Switch, .caption = "Автовыход scard:", .description = "Автовыход scard", .review = 48, .page = Devices, .row = 11, .tab = 9, .label = "Label17", .follows = "SCARD"},
    {.key = "VOLUME", .kind = Text, .check = Number, .caption = "Громкость:", .review = 49, .page = Devices, .row = 8, .tab = 6, .follows = "SOUND"},
    {.key = "LPT", .kind = Switch, .caption = "LPT:", .description = "LPT", .review = 51, .page = Devices, .row = 4, .tab = 11, .label = "Label42"},
    {.key = "REFR"},
    {.key = "REFR_H"},
    // Ports: COM, its settings COM1..COM13 and NPORT; the hidden timeouts share their port's row.
    // In the tab order the "Настроить" buttons of the port rows come after COM13 (15 + n).
    {.key = "COM1", .kind = Text, .caption = "Настройки COM1:", .review = 56, .page = Ports, .row = 3, .tab = 2, .follows = "COM", .flags = Port},
    {.key = "COM2", .kind = Text, .caption = "Настройки COM2:", .review = 57, .page = Ports, .row = 4, .tab = 3, .help = "COM1", .follows = "COM", .flags = Port},
    {.key = "COM3", .kind = Text, .caption = "Настройки COM3:", .review = 58, .page = Ports, .row = 5, .tab = 4, .help = "COM1", .follows = "COM", .flags = Port},
    {.key = "COM4", .kind = Text, .caption = "Настройки COM4:", .review = 59, .page = Ports, .row = 6, .tab = 5, .help = "COM1", .follows = "COM", .flags = Port},
    {.key = "COM5", .kind = Text, .caption = "Настройки COM5:", .review = 60, .page = Ports, .row = 7, .tab = 6, .help = "COM1", .follows = "COM", .flags = Port},
    {.key = "COM6", .kind = Text, .caption = "Настройки COM6:", .review = 61, .page = Ports, .row = 8, .tab = 7, .help = "COM1", .follows = "COM", .flags = Port},
    {.key = "COM7", .kind = Text, .caption = "Настройки COM7:", .review = 62, .page = Ports, .row = 9, .tab = 8, .help = "COM1", .follows = "COM", .flags = Port},
    {.key = "COM8", .kind = Text, .caption = "Настройки COM8:", .review = 63, .page = Ports, .row = 10, .tab = 9, .help = "COM1", .follows = "COM", .flags = Port},
    {.key = "COM9", .kind = Text, .caption = "Настройки COM9:", .review = 64, .page = Ports, .row = 11, .tab = 10, .help = "COM1", .follows = "COM", .flags = Port},
    {.key = "COM10", .kind = Text, .caption = "Настройки COM10:", .review = 65, .page = Ports, .row = 12, .tab = 11, .help = "COM1", .follows = "COM", .flags = Port},
    {.key = "COM11", .kind = Text, .caption = "Настройки COM11:", .review = 66, .page = Ports, .row = 13, .tab = 12, .help = "COM1", .follows = "COM", .flags = Port},
    {.key = "COM12", .kind = Text, .caption = "Настройки COM12:", .review = 67, .page = Ports, .row = 14, .tab = 13, .help = "COM1", .follows = "COM", .flags = Port},
    {.key = "COM13", .kind = Text, .caption = "Настройки COM13:", .review = 68, .page = Ports, .row = 15, .tab = 14, .help = "COM1", .follows = "COM", .flags = Port},
    {.key = "COM14"},
    {.key = "COM15"},
    {.key = "COM16"},
    {.key = "COM17"},
    {.key = "COM18"},
    {.key = "COM19"},
    {.key = "NPORT", .kind = Text, .check = Number, .caption = "Начальный номер порта:", .review = 69, .page = Ports, .row = 2, .tab = 29, .follows = "COM"},
    {.key = "CTIME1", .kind = Text, .caption = "Таймаут порта COM1 ", .review = 70, .page = Ports, .row = 3, .tab = 30, .width = 49, .flags = Hidden | NoHelp},
    {.key = "CTIME2", .kind = Text, .caption = "Таймаут порта COM2 ", .review = 71, .page = Ports, .row = 4, .tab = 31, .width = 49, .flags = Hidden | NoHelp},
    {.key = "CTIME3", .kind = Text, .caption = "Таймаут порта COM3 ", .review = 72, .page = Ports, .row = 5, .tab = 32, .width = 49, .flags = Hidden | NoHelp},
    {.key = "CTIME4", .kind = Text, .caption = "Таймаут порта COM4 ", .review = 73, .page = Ports, .row = 6, .tab = 33, .width = 49, .flags = Hidden | NoHelp},
    {.key = "CTIME5", .kind = Text, .caption = "Таймаут порта COM5 ", .review = 74, .page = Ports, .row = 7, .tab = 34, .width = 49, .flags = Hidden | NoHelp},
    {.key = "CTIME6", .kind = Text, .caption = "Таймаут порта COM6 ", .review = 75, .page = Ports, .row = 8, .tab = 35, .width = 49, .flags = Hidden | NoHelp},
    {.key = "CTIME7", .kind = Text, .caption = "Таймаут порта COM7 ", .review = 76, .page = Ports, .row = 9, .tab = 36, .width = 49, .flags = Hidden | NoHelp},
    {.key = "CTIME8", .kind = Text, .caption = "Таймаут порта COM8 ", .review = 77, .page = Ports, .row = 10, .tab = 37, .width = 49, .flags = Hidden | NoHelp},
    {.key = "CTIME9", .kind = Text, .caption = "Таймаут порта COM9 ", .review = 78, .page = Ports, .row = 11, .tab = 38, .width = 49, .flags = Hidden | NoHelp},
    {.key = "CTIME10", .kind = Text, .caption = "Таймаут порта COM10 ", .review = 79, .page = Ports, .row = 12, .tab = 39, .width = 49, .flags = Hidden | NoHelp},
    {.key = "CTIME11", .kind = Text, .caption = "Таймаут порта COM11 ", .review = 80, .page = Ports, .row = 13, .tab = 40, .width = 49, .flags = Hidden | NoHelp},
    {.key = "CTIME12", .kind = Text, .caption = "Таймаут порта COM12 ", .review = 81, .page = Ports, .row = 14, .tab = 41, .width = 49, .flags = Hidden | NoHelp},
    {.key = "CTIME13", .kind = Text, .caption = "Таймаут порта COM13 ", .review = 82, .page = Ports, .row = 15, .tab = 42, .width = 49, .flags = Hidden | NoHelp},
    {.key = "CTIME14"},
    {.key = "CTIME15"},
    {.key = "CTIME16"},
    {.key = "CTIME17"},
    {.key = "CTIME18"},
    {.key = "CTIME19"},
    {.key = "FREE"},
    {.key = "EXIT", .kind = Choice, .table = kExit, .caption = "Завершение сеанса:", .description = "Завершение сеанса", .review = 12, .page = General, .row = 12, .label = "Label5"},
    // Not edited: written from the CHIPSET choice, X also read as the X flag.
    {.key = "X", .description = "Использовать драйвера Xorg"},
    {.key = "FB", .description = "Использовать драйвера FB"},
    {.key = "TSON"},
    {.key = "WIFI", .kind = Choice, .table = kWifi, .caption = "Драйвер:", .description = "Драйвер", .review = 88, .page = WiFi, .row = 1, .label = "Label21", .width = 245},
    {.key = "WSSID", .kind = Text, .caption = "SSID:", .review = 90, .page = WiFi, .row = 2},
    {.key = "WAUTHMODE", .kind = Choice, .table = kWauthmode, .caption = "Метод аутентификации:", .description = "Метод аутентификации", .review = 89, .page = WiFi, .row = 5, .label = "Label37"},
    {.key = "WKEYTYPE", .kind = Choice, .table = kWkeytype, .caption = "Тип ключа:", .description = "Тип ключа", .review = 91, .page = WiFi, .row = 6, .label = "Label36"},
    {.key = "WKEY", .kind = Text, .caption = "Wep ключ:", .review = 94, .page = WiFi, .row = 7, .flags = Secret},
    {.key = "WTIMEOUT", .kind = Text, .check = Number, .caption = "Таймаут инициализации:", .review = 93, .page = WiFi, .row = 3},
    {.key = "WCHANNEL", .kind = Text, .check = Number, .caption = "Канал:", .review = 92, .page = WiFi, .row = 4},
    {.key = "reconfig"},
    {.key = "##"},
};
// clang-format on

constexpr std::optional<Id> findIn(std::string_view key) {
    for (Id i = 0; i < kKeyCount; ++i)
        if (kParams[i].key == key) return i;
    return std::nullopt;
}

constexpr bool catalogueIsConsistent() {
    int controls = 0;
    for (const Param& p : kParams) {
        if (p.key.empty() || p.key.size() > kMaxKeyLength) return false;
        if (p.hasControl() != (p.review != 0) || p.hasControl() == (p.page == Page::NoPage))
            return false;
        if ((p.kind == Kind::Choice) == p.table.empty()) return false;
        if (!p.follows.empty()) {
            auto g = findIn(p.follows);
            if (!g || kParams[*g].rule == Rule::NoRule) return false;
        }
        controls += p.hasControl();
    }
    return controls == 94;
}
static_assert(catalogueIsConsistent());

// The ports' keys stand in a row each: COM1 to COM19, CTIME1 to CTIME19.
constexpr int kPorts = 19;
constexpr Id kCom1 = *findIn("COM1"), kCtime1 = *findIn("CTIME1");
static_assert(findIn("COM19") == kCom1 + kPorts - 1 && findIn("CTIME19") == kCtime1 + kPorts - 1);

constexpr std::optional<int> itemIn(ValueTable table, std::string_view value) {
    for (std::size_t r = 0; r < table.size(); ++r)
        if (table[r].value == value) return static_cast<int>(r) + 1;
    return std::nullopt;
}

// One setting of a typical configuration, checked when the program is compiled: a key that is
// not in the catalogue, or a value that is not in its list's table or not "on" or "off" for a
// switch, stops the build.
consteval Setting set(std::string_view key, std::string_view value) {
    const auto id = findIn(key);
    if (!id) throw "not a key of the catalogue";
    const Param& p = kParams[*id];
    if (p.kind == Kind::Switch && value != "on" && value != "off") throw "a switch is on or off";
    if (p.kind == Kind::Choice && !itemIn(p.table, value)) throw "not in the key's value table";
    if (p.kind != Kind::Switch && p.kind != Kind::Choice) throw "not a switch or a list";
    return {*id, value};
}

// The first four presets set the same keys, in this order: the lists COLOR, CHIPSET, RAZR,
// COM, CACH and PRINTER, then the ten device switches alike, then COMPRESS.
consteval std::array<Setting, 17> typical(std::string_view color, std::string_view chipset,
                                          std::string_view razr, std::string_view com,
                                          std::string_view cach, std::string_view printer,
                                          std::string_view devices, std::string_view compress) {
    return {set("COLOR", color),   set("CHIPSET", chipset),  set("RAZR", razr),
            set("COM", com),       set("CACH", cach),        set("PRINTER", printer),
            set("W", devices),     set("F", devices),        set("M", devices),
            set("T", devices),     set("FLOPPY", devices),   set("CDROMS", devices),
            set("FLASH", devices), set("HD", devices),       set("SOUND", devices),
            set("SCARD", devices), set("COMPRESS", compress)};
}
// clang-format off
//                                   COLOR CHIPSET   RAZR         COM    CACH   PRINTER devices COMPRESS
constexpr auto kWeak = typical(     "16", "autofb", "1024x768",  "off", "off", "off",  "off", "off");
constexpr auto kFast = typical(     "16", "auto",   "1024x768",  "off", "max", "off",  "off", "on");
constexpr auto kComfort = typical(  "24", "auto",   "1280x1024", "ser", "max", "lpt",  "on",  "on");
// clang-format on
constexpr Setting kPrintServer[] = {set("PRINTER", "lpt")};
constexpr Setting kWindows2000[] = {set("COLOR", "8"), set("SAMBA", "on"), set("COM", "ser")};

constexpr Preset kPresets[] = {
    {"weak", "Слабая машина", true, kWeak},
    {"fast", "Максимальная производительность", true, kFast},
    {"comfort", "Наибольший комфорт", true, kComfort},
    {"traffic", "Уменьшение траффика", true, kFast},
    {"print-server", "Аппаратный принт-сервер", true, kPrintServer},
    {"windows2000", "Windows 2000 Server", false, kWindows2000},
};

// Keys are looked up for every line read and written, so by hash: open addressing over the
// key's length and three of its bytes, with room for twice the keys. With these factors no key
// is more than one slot away from its own.
constexpr std::size_t kSlots = 256;
constexpr std::size_t slotOf(std::string_view k) {  // k not empty
    const auto b = [&](std::size_t i) { return std::size_t{static_cast<unsigned char>(k[i])}; };
    return (k.size() * 37 + b(0) * 37 + b(k.size() / 2) * 101 + b(k.size() - 1) * 23) % kSlots;
}

// A slot holds its key's bytes, so that a lookup reads one small table and nothing else.
struct Slot {
    Id id = -1;  // -1 = free
    std::uint8_t size = 0;
    std::array<char, kMaxKeyLength> key{};
};

struct Index {
    std::array<Id, 94> order{};  // creation order
    std::array<Slot, kSlots> slots{};
    constexpr Index() {
        for (Id i = 0; i < kKeyCount; ++i) {
            if (kParams[i].review) order[kParams[i].review - 1] = i;
            const std::string_view key = kParams[i].key;
            std::size_t s = slotOf(key);
            while (slots[s].id != -1) s = (s + 1) % kSlots;
            slots[s].id = i;
            slots[s].size = static_cast<std::uint8_t>(key.size());
            for (std::size_t c = 0; c < key.size(); ++c) slots[s].key[c] = key[c];
        }
    }
};
constexpr Index kIndex;  // made when the program is compiled
constexpr const Index& index() {
    return kIndex;
}

}  // namespace

std::span<const Param> catalogue() {
    return kParams;
}
const Param& param(Id id) {
    return kParams[id];
}
std::span<const Id> controlOrder() {
    return index().order;
}

Id lookup(std::string_view key) {
    if (key.empty() || key.size() > kMaxKeyLength) return -1;
    const auto& slots = index().slots;
    for (std::size_t s = slotOf(key); slots[s].id != -1; s = (s + 1) % kSlots) {
        const Slot& slot = slots[s];
        if (slot.size == key.size() && std::equal(key.begin(), key.end(), slot.key.begin()))
            return slot.id;
    }
    return -1;
}

Id idOf(std::string_view key) {
    auto id = find(key);
    if (!id) std::abort();  // a key spelled wrongly in the program itself
    return *id;
}

std::optional<int> itemOf(ValueTable table, std::string_view value) {
    return itemIn(table, value);
}

std::optional<PortKeys> portKeys(int n) {
    if (n < 1 || n > kPorts) return std::nullopt;
    return PortKeys{kCom1 + n - 1, kCtime1 + n - 1};
}

std::span<const Preset> presets() {
    return kPresets;
}

const Preset* findPreset(std::string_view name) {
    for (const Preset& p : kPresets)
        if (p.name == name) return &p;
    return nullptr;
}

ChipsetParts splitChipset(std::string_view v) {
    if (v.find("fb") != std::string_view::npos && v.find("fbdev") == std::string_view::npos)
        return {v, false, true};
    if (const auto cut = v.find("_x"); cut != std::string_view::npos)
        return {v.substr(0, cut), true, false};
    return {v, false, false};
}

std::optional<int> chipsetItem(std::string_view value, bool xFlag) {
    static const ValueTable table = param(idOf(keys::CHIPSET)).table;
    if (!xFlag) return itemOf(table, value);
    constexpr std::string_view suffix = "_x";
    for (std::size_t r = 0; r < table.size(); ++r) {
        const std::string_view v = table[r].value;
        if (v.size() == value.size() + suffix.size() && v.starts_with(value) && v.ends_with(suffix))
            return static_cast<int>(r) + 1;
    }
    return std::nullopt;
}

std::string_view descriptionOf(const Param& p) {
    if (p.kind != Kind::Text) return p.description;
    // Captions end in ":", ": " or " "; only the last character goes.
    std::string_view c = p.caption;
    return c.empty() ? c : c.substr(0, c.size() - 1);
}

namespace port {
ValueTable speed() {
    return kSpeed;
}
ValueTable parity() {
    return kParity;
}
ValueTable dataBits() {
    return kDataBits;
}
ValueTable stopBits() {
    return kStopBits;
}
}  // namespace port

}  // namespace orbex
