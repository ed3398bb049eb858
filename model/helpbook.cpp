#include "model/helpbook.h"

#include "model/catalogue.h"
#include "model/helpfleet.h"
#include "model/ports.h"
#include "model/product.h"
#include "model/writer.h"

namespace orbex {
namespace {

std::string escape(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string code(std::string_view s) {
    return "<code>" + escape(s) + "</code>";
}

std::string link(std::string_view key, HelpLinks links) {
    return "<a href=\"" + escape(helpTarget(key, links)) + "\">" + escape(key) + "</a>";
}

std::string heading(const Param& p) {
    std::string_view name = descriptionOf(p);
    if (name.empty() || name == p.key) return std::string(p.key);
    if (name.back() == ':') name.remove_suffix(1);
    return std::string(p.key) + " — " + escape(name);
}

std::string valueTable(ValueTable table) {
    std::string s = "<table><tr><th>В файле</th><th>В списке</th></tr>\n";
    for (const ValueChoice& row : table)
        s += "<tr><td>" + code(row.value) + "</td><td>" + escape(row.display) + "</td></tr>\n";
    return s + "</table>\n";
}

std::string checkText(Check c, HelpLinks links) {
    switch (c) {
        case Check::Number:
            return "Значение — целое число от −2147483648 до 2147483647; допускаются пробелы "
                   "в начале, знак и шестнадцатеричная запись после <code>$</code>, "
                   "<code>x</code> или <code>0x</code>.";
        case Check::Address:
            return "Значение — пустое или один адрес IPv4: четыре десятичных числа через точку, "
                   "первое от 1 до 255, остальные от 0 до 255.";
        case Check::AddressList:
            return "Значение — адреса IPv4 через пробел. Пока задан параметр " +
                   link(keys::DNS, links) + ", допускаются и имена серверов.";
        case Check::Any:
            break;
    }
    return "";
}

std::string dependency(const Param& p, HelpLinks links) {
    if (p.follows.empty()) return "";
    const Param& g = param(idOf(p.follows));
    std::string s = "<p>Доступен для изменения, когда ";
    switch (g.rule) {
        case Rule::WhenUnchecked:
            s += "снят флажок " + link(g.key, links);
            break;
        case Rule::WhenChecked:
            s += "отмечен флажок " + link(g.key, links);
            break;
        case Rule::WhenItem2:
            s += "в списке " + link(g.key, links) + " выбрано «" + escape(g.table[1].display) + "»";
            break;
        case Rule::WhenNotItem1:
            s += "в списке " + link(g.key, links) + " выбрано не «" + escape(g.table[0].display) +
                 "»";
            break;
        case Rule::NoRule:
            break;
    }
    return s + "; недоступный параметр сохраняет своё значение и записывается в файл.</p>\n";
}

}  // namespace

std::string helpTarget(std::string_view keyword, HelpLinks links) {
    if (links == HelpLinks::Anchors) return "#" + std::string(keyword);
    return helpPageName(keyword);
}

std::string helpPageName(std::string_view keyword) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string name;
    for (char c : keyword) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
            b == '_') {
            name += c;
        } else {
            name += '-';
            name += kHex[b >> 4];
            name += kHex[b & 15];
        }
    }
    // Names that Windows keeps for devices, whatever follows the dot: COM1.htm is a port.
    std::string folded = name;
    for (char& c : folded)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const bool device =
        folded == "CON" || folded == "PRN" || folded == "AUX" || folded == "NUL" ||
        (folded.size() == 4 && (folded.starts_with("COM") || folded.starts_with("LPT")) &&
         folded[3] >= '0' && folded[3] <= '9');
    if (device) name += '_';
    return name + ".htm";
}

std::string helpTitle(std::string_view keyword) {
    if (keyword == "MAIN") return "Работа с программой";
    if (keyword == "FSAVE") return "Параметры сохранения";
    if (isFleetHelpKeyword(keyword)) return std::string(fleetHelpTitle(keyword));
    const auto id = find(keyword);
    return id ? heading(param(*id)) : escape(keyword);
}

std::string helpSection(const Param& p, HelpLinks links) {
    std::string s = "<h2 id=\"" + escape(p.key) + "\">" + heading(p) + "</h2>\n";
    switch (p.kind) {
        case Kind::Text:
            s += "<p>Текстовый параметр: в файл записывается введённый текст, пустой текст — "
                 "как " +
                 code(std::string(p.key) + "=''") + ".";
            if (p.check != Check::Any) s += " " + checkText(p.check, links);
            if (p.has(Masked)) s += " Поле ввода скрывает набранные символы.";
            s += "</p>\n";
            if (p.has(Port))
                s += "<p>Настройки порта — семь слов через пробел, например " +
                     code(composePortValue({})) +
                     ": скорость, чётность, биты данных, стоп-биты и управление потоком "
                     "XONXOFF, RTSCTS, LOCAL (со знаком «-», когда выключено). Их удобно "
                     "задавать кнопкой «Настроить».</p>\n";
            if (p.has(Hidden))
                s += "<p>Таймаут порта задаётся в окне настроек порта (кнопка «Настроить»): "
                     "«По умолчанию», 150, 300, 600 или любое введённое значение.</p>\n";
            break;
        case Kind::Switch:
            s += "<p>Флажок: отмеченный записывается как " + code("on") + ", снятый — как " +
                 code("off") + ".</p>\n";
            break;
        case Kind::Choice:
            s += "<p>Значение выбирается из списка:</p>\n" + valueTable(p.table);
            if (p.has(Editable))
                s += "<p>Можно ввести и код раскладки, которого нет в списке.</p>\n";
            if (p.key == keys::CHIPSET)
                s += "<p>Для драйверов «+ X» файл хранит имя без " + code("_x") + " и строку " +
                     code("X='on'") + "; для драйверов «+ FB» — строку " + code("FB='on'") +
                     ".</p>\n";
            break;
        case Kind::None:
            if (!p.description.empty())
                s += "<p>" + escape(p.description) + ". Записывается программой по выбранному " +
                     link(keys::CHIPSET, links) + ": " + code("on") + " или " + code("off") +
                     ".</p>\n";
            else
                s += "<p>Программа не изменяет этот параметр: строка с ним в файле "
                     "не влияет на настройки и не сохраняется.</p>\n";
            return s;
    }
    s += dependency(p, links);
    s += "<p>«По умолчанию»: параметр не записывается в файл, и терминал применяет своё "
         "встроенное значение. Кнопка «D» возвращает параметр в это состояние.</p>\n";
    return s;
}

// Every key of the main window.
constexpr std::string_view kShortcuts = R"(<h3>Клавиши</h3>
<table>
<tr><th>Клавиши</th><th>Действие</th></tr>
<tr><td>Ctrl+N</td><td>«Новый»: новый файл, все параметры «По умолчанию»</td></tr>
<tr><td>Ctrl+O</td><td>«Открыть» файл</td></tr>
<tr><td>Ctrl+S; Enter, Return</td><td>«Сохранить» (Enter и Return — из любого поля)</td></tr>
<tr><td>Ctrl+Alt+S</td><td>«Сохранить как...»</td></tr>
<tr><td>Alt+X</td><td>«Выход»</td></tr>
<tr><td>Ctrl+Z</td><td>«Отменить» последнее изменение</td></tr>
<tr><td>Ctrl+Y, Ctrl+Shift+Z</td><td>«Повторить» отменённое</td></tr>
<tr><td>Ctrl+L</td><td>«Просмотреть текущую» конфигурацию</td></tr>
<tr><td>Ctrl+D</td><td>«Сбросить по умолчанию»: все параметры</td></tr>
<tr><td>Ctrl+Shift+D</td><td>«Сбросить параметр»: параметр, в поле которого стоит курсор, как его кнопка «D»</td></tr>
<tr><td>Ctrl+F</td><td>поиск параметра по ключу или подписи; Enter — перейти к нему, Esc — закрыть поиск</td></tr>
<tr><td>Ctrl+Tab, Ctrl+Shift+Tab</td><td>следующая и предыдущая вкладка</td></tr>
<tr><td>F1</td><td>«Справка»</td></tr>
<tr><td>Ctrl+F1</td><td>«О программе...»</td></tr>
</table>
)";

static std::string helpMainSection(HelpLinks links) {
    return R"(<h2 id="MAIN">Менеджер конфигураций ORBEX</h2>
<p>Программа создаёт и изменяет файл конфигурации терминала ORBEX: строки вида
<code>KEY='value'</code> в кодировке UTF-8. Каждый параметр — одно поле окна на одной из
восьми вкладок. Параметр либо задан, либо стоит «По умолчанию»: тогда он не записывается, и
терминал применяет своё значение.</p>
<ul>
<li>«Открыть» читает файл; «Новый» и «Очистить» возвращают все параметры в «По умолчанию».</li>
<li>Кнопка «D» возвращает в «По умолчанию» один параметр, кнопка «?» открывает его описание,
щелчок по подписи — страницу параметра на сайте.</li>
<li>«Просмотреть» показывает параметры, которые будут записаны. Неверные адреса и числа
сбрасываются с предупреждением.</li>
<li>«Сохранить» записывает файл на место открытого; новый файл получает имя в окне
<a href=")" +
           escape(helpTarget("FSAVE", links)) +
           R"(">параметров сохранения</a>.</li>
<li>«Типовые конфигурации» задают готовые наборы параметров.</li>
<li>«Правка» → «Отменить» возвращает конфигурацию, какой она была до последнего изменения:
до набранного в поле, «D», сброса, типовой конфигурации, настройки порта, «Новый» или
«Открыть» (тогда возвращается и прежний файл); «Повторить» снова делает отменённое.</li>
</ul>
)" + std::string(kShortcuts);
}

static std::string helpSaveSection() {
    return R"(<h2 id="FSAVE">Параметры сохранения</h2>
<p>Когда у конфигурации ещё нет файла, программа предлагает имя:</p>
<ul>
<li>«МАК адрес» — по адресу сетевой карты терминала, например <code>AA^BB^CC^DD^EE^FF.cfg</code>;</li>
<li>«Имя компьютера» — по имени терминала, с окончанием <code>.cfg</code>;</li>
<li>«Общий» — файл <code>default.cfg</code>, общий для терминалов без собственного файла;</li>
<li>«Файл» — любой путь; окончание <code>.cfg</code> добавляется, если его нет.</li>
</ul>
<p>Существующий файл заменяется; при ошибке записи старый файл остаётся нетронутым.</p>
)";
}

std::string helpSection(std::string_view keyword, HelpLinks links) {
    if (keyword == "MAIN") return helpMainSection(links);
    if (keyword == "FSAVE") return helpSaveSection();
    if (isFleetHelpKeyword(keyword)) return fleetHelpSection(keyword, links);
    return helpSection(param(idOf(keyword)), links);
}

std::vector<std::string_view> helpKeywords() {
    std::vector<std::string_view> v{"MAIN", "FSAVE"};
    for (std::string_view k : fleetHelpKeywords()) v.push_back(k);
    for (const Param& p : catalogue()) v.push_back(p.key);
    return v;
}

std::string helpBook() {
    std::string s =
        "<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>Менеджер конфигураций ORBEX — справка</title>\n"
        "<style>body{font-family:sans-serif;max-width:50em;margin:auto;padding:1em}"
        "table{border-collapse:collapse}td,th{border:1px solid #aaa;padding:2px 8px}"
        "h2{border-bottom:1px solid #ccc;margin-top:2em}</style>\n</head>\n<body>\n"
        "<h1 id=\"index\">Менеджер конфигураций ORBEX — справка</h1>\n<p>";
    s +=
        "<a href=\"#MAIN\">Работа с программой</a> · <a href=\"#FSAVE\">Параметры сохранения</a> · "
        "<a href=\"#FLEET\">Парк терминалов</a> · "
        "<a href=\"" +
        escape(siteAddress()) + "\">Сайт</a></p>\n<p>Параметры:";
    for (const Param& p : catalogue()) s += " " + link(p.key, HelpLinks::Anchors);
    s += "</p>\n";
    for (std::string_view keyword : helpKeywords()) s += helpSection(keyword, HelpLinks::Anchors);
    return s + "</body>\n</html>\n";
}

}  // namespace orbex
