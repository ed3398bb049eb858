#include "model/helpfleet.h"

#include <algorithm>

#include "model/helpbook.h"

namespace orbex {
namespace {

constexpr std::string_view kKeywords[] = {"FLEET", "FIMPORT", "FEXPORT", "FCLI", "FLOG"};

std::string link(std::string_view keyword, std::string_view text, HelpLinks links) {
    return "<a href=\"" + helpTarget(keyword, links) + "\">" + std::string(text) + "</a>";
}

std::string heading(std::string_view keyword) {
    return "<h2 id=\"" + std::string(keyword) + "\">" + std::string(fleetHelpTitle(keyword)) +
           "</h2>\n";
}

std::string fleetSection(HelpLinks links) {
    return heading("FLEET") +
           "<p>Окно «Парк терминалов» (меню «Файл» → «Парк терминалов...») показывает все файлы "
           "конфигурации одной папки TFTP-сервера: строка на файл. Терминал загружает файл "
           "по своему MAC-адресу (<code>AA^BB^CC^DD^EE^FF.cfg</code>), иначе по имени "
           "компьютера (<code>ИМЯ.cfg</code>), иначе общий <code>default.cfg</code>.</p>\n"
           "<ul>\n"
           "<li>Столбец «Замечания» называет, что проверка нашла в файле: «дубль IP», «дубль "
           "MAC», «дубль имени» (то же значение в другом файле), «строка пропущена» (строка, "
           "которую программа не читает), «значение сброшено» (неверное значение, которое "
           "сохранение сбросит), «имя с ^», «временный файл», «не читается». Подсказка "
           "строки показывает каждое замечание полностью.</li>\n"
           "<li>Поле «Фильтр» оставляет строки, в которых есть введенный текст; список рядом "
           "— только файлы с выбранным замечанием. Строка состояния считает показанные и "
           "выбранные строки.</li>\n"
           "<li>«Столбцы» добавляют столбцы параметров. Значение, которое отличается от "
           "<code>default.cfg</code>, выделено.</li>\n"
           "<li>«Какой файл?» отвечает, какой файл загрузит терминал с данным MAC-адресом или "
           "именем.</li>\n"
           "<li>Двойной щелчок или Enter открывает файл строки в основном окне.</li>\n"
           "<li>«Изменить выбранные...» задает или сбрасывает параметры во всех выбранных "
           "файлах. Перед записью показывается, что изменится; «Отмена» возвращает к выбору "
           "параметров.</li>\n"
           "<li>" +
           link("FIMPORT", "«Импорт CSV...»", links) + " и " +
           link("FEXPORT", "«Экспорт CSV...»", links) +
           " переносят параметры парка в таблицу и обратно; то же делают " +
           link("FCLI", "команды orbcfg-cli", links) +
           ".</li>\n"
           "<li>" +
           link("FLOG", "«Журнал TFTP...»", links) +
           " показывает по журналу TFTP-сервера, какие файлы терминалы запросили на "
           "самом деле.</li>\n"
           "</ul>\n"
           "<p>Таблица следит за папкой: файлы, добавленные или измененные другими "
           "программами, появляются в ней сами.</p>\n";
}

std::string importSection(HelpLinks links) {
    return heading("FIMPORT") +
           "<p>«Импорт CSV...» создает или изменяет файлы парка по таблице. Первая строка "
           "таблицы — заголовок: один столбец файла (<code>file</code> — имя файла, "
           "<code>mac</code> — MAC-адрес, <code>name</code> — имя компьютера), остальные — "
           "ключи параметров. Каждая следующая строка — один файл. Пустая ячейка оставляет "
           "параметр как есть, <code>''</code> задает пустой текст.</p>\n"
           "<p>После выбора таблицы программа спрашивает шаблон: файл конфигурации, чьи "
           "параметры получит каждый новый файл, кроме заданных в таблице (как "
           "<code>orbcfg-cli import --template</code>). Без шаблона новый файл получает только "
           "параметры из таблицы.</p>\n"
           "<p>Перед записью окно показывает каждый файл: новый (с его параметрами), "
           "изменится (что изменится) или без изменений. Если в таблице есть ошибки, окно "
           "перечисляет отказы с номерами строк и столбцов, и ничего не записывается. "
           "Таблица может быть через запятую или через точку с запятой, с отметкой порядка "
           "байтов или без нее: подходит и таблица " +
           link("FEXPORT", "экспорта", links) + " в любом из двух видов.</p>\n";
}

std::string exportSection(HelpLinks links) {
    return heading("FEXPORT") +
           "<p>«Экспорт CSV...» сохраняет параметры всех файлов папки в таблицу: строка на "
           "файл, столбец <code>file</code>, затем столбец на каждый параметр, заданный хотя "
           "бы в одном файле. Пустая ячейка — параметр не задан, <code>''</code> — пустой "
           "текст. Ячейка, которую электронная таблица приняла бы за формулу, записывается с "
           "<code>'</code> в начале; импорт его убирает.</p>\n"
           "<p>Вид таблицы выбирается в списке типов файла окна сохранения:</p>\n<ul>\n"
           "<li>«RFC 4180» — через запятую, без отметки порядка байтов (как "
           "<code>orbcfg-cli export</code>);</li>\n"
           "<li>«для Excel» — через точку с запятой, с отметкой порядка байтов UTF-8 и "
           "концами строк CR LF: такую таблицу Excel с русскими настройками открывает по "
           "столбцам (как <code>orbcfg-cli export --excel</code>).</li>\n</ul>\n"
           "<p>Таблицу можно изменить и загрузить обратно " +
           link("FIMPORT", "импортом", links) +
           ". Если в ней есть пароли, файл доступен только владельцу, а программа сообщает, "
           "сколько паролей в таблице.</p>\n";
}

std::string cliSection() {
    return heading("FCLI") +
           "<p>Программа <code>orbcfg-cli</code> делает то же из командной строки:</p>\n"
           "<ul>\n"
           "<li><code>orbcfg-cli lint ПАПКА [-r]</code> — все замечания по папке (то, что "
           "окно показывает в столбце «Замечания»);</li>\n"
           "<li><code>orbcfg-cli which ПАПКА --mac MAC --name ИМЯ</code> — какой файл "
           "загрузит терминал;</li>\n"
           "<li><code>orbcfg-cli diff A B</code> — параметры, которые два файла задают "
           "по-разному;</li>\n"
           "<li><code>orbcfg-cli export ПАПКА [-o ФАЙЛ.csv] [--excel]</code> — таблица "
           "парка;</li>\n"
           "<li><code>orbcfg-cli import ФАЙЛ.csv -d ПАПКА [--template ФАЙЛ] [--dry-run] "
           "[--force]</code> — файлы по таблице; существующий файл изменяется только с "
           "<code>--force</code>;</li>\n"
           "<li><code>orbcfg-cli fetched ЖУРНАЛ... [-d ПАПКА] [--since ВРЕМЯ] [--format "
           "text|json|csv]</code> — что терминалы запросили и получили по журналу "
           "TFTP-сервера.</li>\n"
           "</ul>\n<p>Полный список команд: <code>orbcfg-cli --help</code>.</p>\n";
}

std::string logSection(HelpLinks links) {
    return heading("FLOG") +
           "<p>Терминал загружает один файл и ничего не объединяет; какой именно, знает только "
           "журнал TFTP-сервера. «Журнал TFTP...» читает журнал (сжатый gzip тоже) и "
           "сопоставляет его с папкой парка. Понимаются журналы tftpd-hpa "
           "(<code>in.tftpd</code> с ключом <code>-v</code>, об отсутствующих файлах — только "
           "с <code>-vv</code>), TFTP-сервера dnsmasq и Tftpd64 / Tftpd32; строки других "
           "программ пропускаются.</p>\n<ul>\n"
           "<li>Столбец «Запрошен» — когда терминал последний раз запросил файл (и чем "
           "кончился запрос, если файл не отправлен), «Кем» — адрес этого терминала. "
           "«не запрашивался» — файл по MAC-адресу или имени, который за время журнала не "
           "запросил ни один терминал.</li>\n"
           "<li>Над таблицей перечислены терминалы, которые не получили свой файл: "
           "например, получили <code>default.cfg</code>, хотя в папке есть файл их "
           "MAC-адреса, записанный иначе или в другом регистре.</li>\n"
           "<li>Список рядом с фильтром показывает только файлы, которые не запрашивались, "
           "или файлы, чей терминал взял другой файл.</li>\n</ul>\n"
           "<p>То же из командной строки: " +
           link("FCLI", "orbcfg-cli fetched", links) + ".</p>\n";
}

}  // namespace

std::span<const std::string_view> fleetHelpKeywords() {
    return kKeywords;
}

bool isFleetHelpKeyword(std::string_view keyword) {
    return std::find(std::begin(kKeywords), std::end(kKeywords), keyword) != std::end(kKeywords);
}

std::string_view fleetHelpTitle(std::string_view keyword) {
    if (keyword == "FLEET") return "Парк терминалов";
    if (keyword == "FIMPORT") return "Импорт CSV";
    if (keyword == "FEXPORT") return "Экспорт CSV";
    if (keyword == "FCLI") return "Команды парка в orbcfg-cli";
    if (keyword == "FLOG") return "Журнал TFTP";
    return {};
}

std::string fleetHelpSection(std::string_view keyword, HelpLinks links) {
    if (keyword == "FLEET") return fleetSection(links);
    if (keyword == "FIMPORT") return importSection(links);
    if (keyword == "FEXPORT") return exportSection(links);
    if (keyword == "FCLI") return cliSection();
    if (keyword == "FLOG") return logSection(links);
    return {};
}

}  // namespace orbex
