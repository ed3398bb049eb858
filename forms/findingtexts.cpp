#include "forms/findingtexts.h"

#include "forms/qtext.h"

using namespace orbex;

namespace findingtexts {

namespace {

QString quoted(const std::string& s) {
    return "'" + qs(s) + "'";
}

QString checkText(Check c) {
    switch (c) {
        case Check::Number:
            return "целое число";
        case Check::Address:
            return "IPv4-адрес";
        case Check::AddressList:
            return "список IPv4-адресов через пробел";
        case Check::Any:
            break;
    }
    return "допустимое значение";
}

Check checkOf(const std::string& key) {
    const auto id = find(key);
    return id ? param(*id).check : Check::Any;
}

}  // namespace

QString lintText(LintCode code, const std::string& key, const std::string& value,
                 const std::string& hint, bool xFlag) {
    const QString skipped = "; строка пропущена";
    switch (code) {
        case LintCode::NoCloseQuote:
            return "нет закрывающей кавычки" + skipped;
        case LintCode::NotParamLine:
            return "не строка вида КЛЮЧ='значение'" + skipped;
        case LintCode::UnknownKey:
            return "неизвестный ключ " + quoted(value) +
                   (hint.empty()
                        ? QString()
                        : " (большие и малые буквы в ключах различаются: " + qs(hint) + ")") +
                   skipped;
        case LintCode::NoEquals:
            return "после ключа нет \"='\"" + skipped;
        case LintCode::Blanks:
            return "пробелы перед ключом или вокруг \"=\"" + skipped;
        case LintCode::NoQuotes:
            return "значение должно стоять в одинарных кавычках" + skipped;
        case LintCode::NotInTable:
            return quoted(value) + (xFlag ? " (значение с X='on')" : "") +
                   " нет в списке значений параметра" + skipped;
        case LintCode::XNotOnOff:
            return quoted(value) + " — не on и не off" + skipped;
        case LintCode::SwitchNotOnOff:
            return quoted(value) + " — не on и не off; переключатель остается «По умолчанию»";
        case LintCode::NotEdited:
            return "параметр не изменяется программой" + skipped + " и не будет сохранена";
        case LintCode::AfterEof:
            return "текст после байта 1A (Ctrl-Z) не читается";
        case LintCode::Reset:
            return quoted(value) + " — не " + checkText(checkOf(key)) +
                   "; при сохранении значение будет сброшено";
        case LintCode::DroppedComment:
            break;
    }
    return "комментарий; не будет сохранен";
}

QString lintText(const Finding& f) {
    return lintText(f.code, f.key, f.value, f.hint, f.xFlag);
}

QString valueRefusalText(const Param& p, const ValueRefusal& r) {
    switch (r.fault) {
        case ValueFault::None:
            break;
        case ValueFault::FromChipset:
            return "записывается по CHIPSET: задайте CHIPSET со значением на _x или с fb";
        case ValueFault::NotEdited:
            return "не изменяется программой";
        case ValueFault::OnOff:
            return "принимает только on или off";
        case ValueFault::OneOf: {
            QString values;
            for (const ValueChoice& row : p.table) values += " " + qs(row.value);
            return "принимает одно из значений:" + values;
        }
        case ValueFault::QuoteOrBreak:
            return "не может содержать одинарную кавычку или перевод строки";
        case ValueFault::Control:
            return "не может содержать управляющий символ (" + qs(r.detail) + ")";
        case ValueFault::UseUnset:
            return "«По умолчанию» не может быть значением параметра";
        case ValueFault::FailsCheck:
            return quoted(r.detail) + " — не " + checkText(p.check);
    }
    return {};
}

QString keyRefusalText(const Param& p, const ValueRefusal& r) {
    return qs(p.key) + (r.fault == ValueFault::FailsCheck ? ": " : " ") + valueRefusalText(p, r);
}

}  // namespace findingtexts
