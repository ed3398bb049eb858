// The fleet table alone, over folders of real files: the rows listed at once and filled by the
// reading thread, their texts and findings, sorting and filtering, and the rows following files
// that change on disk.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "forms/Fleet/fleetmodel.h"
#include "forms/Fleet/fleetproxy.h"
#include "forms/Fleet/fleettexts.h"
#include "forms/findingtexts.h"
#include "forms/qtext.h"
#include "model/catalogue.h"

using namespace orbex;
namespace fl = orbex::fleet;

namespace {

// A file's bytes written whole, with a fixed modification time: a later write of as many
// bytes with that time again looks unchanged to the model.
void spit(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
    QVERIFY(f.flush());  // the time set after the last write
    QVERIFY(f.setFileTime(QDateTime(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC),
                          QFileDevice::FileModificationTime));
}

// The rows of the source model that a signal's range covers, one mark a row.
std::vector<bool> covered(const QSignalSpy& spy, int rows) {
    std::vector<bool> out(static_cast<std::size_t>(rows));
    for (const QList<QVariant>& args : spy) {
        const auto from = args[0].value<QModelIndex>().row();
        const auto to = args[1].value<QModelIndex>().row();
        for (int r = from; r <= to; ++r) out[std::size_t(r)] = true;
    }
    return out;
}

}  // namespace

class FleetModelTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    QString dir;
    std::unique_ptr<FleetModel> model;

    void put(const QString& name, const QByteArray& bytes) { spit(dir + "/" + name, bytes); }
    QString text(const QString& file, int column, int role = Qt::DisplayRole) const {
        return model->index(model->rowOf(file), column).data(role).toString();
    }
    bool departs(const QString& file, int column) const {
        return model->index(model->rowOf(file), column).data(FleetModel::kDepartsRole).toBool();
    }
    // Loads the folder and waits for its files to be read.
    void loadAll() {
        QString error;
        QSignalSpy loaded(model.get(), &FleetModel::loaded);
        QVERIFY(model->load(dir, error));
        QVERIFY(loaded.wait(5000));
        QVERIFY(!model->loading());
    }

  private slots:
    void init() {
        tmp = std::make_unique<QTemporaryDir>();
        dir = tmp->path() + "/tftp";
        QVERIFY(QDir().mkpath(dir));
        model = std::make_unique<FleetModel>();
        put("default.cfg", "TSERV='10.0.0.2'\r\n");
        put("aa^bb^cc^dd^ee^01.cfg", "MNAME='term01'\r\nIP='10.0.0.11'\r\nTSERV='10.0.0.2'\r\n");
        put("kassa.cfg", "MNAME='kassa'\r\nIP='10.0.0.011'\r\nUSERN='Kasse'\r\n");
        put("term03.cfg", "MNAME='term03'\r\nIP='10.0.0.13'\r\nnot a line\r\n");
    }
    void cleanup() {
        model.reset();
        tmp.reset();
    }

    void rowsAtOnceThenWhatTheFilesSet() {
        QString error;
        QSignalSpy loaded(model.get(), &FleetModel::loaded);
        QVERIFY(model->load(dir, error));
        // Listed by name, in file order, before any file is read.
        QVERIFY(model->loading());
        QCOMPARE(model->rowCount(), 4);
        QCOMPARE(model->files(), (std::vector<std::string>{"aa^bb^cc^dd^ee^01.cfg", "default.cfg",
                                                           "kassa.cfg", "term03.cfg"}));
        QCOMPARE(text("aa^bb^cc^dd^ee^01.cfg", FleetModel::Kind), QString("MAC"));
        QCOMPARE(text("aa^bb^cc^dd^ee^01.cfg", FleetModel::Mac), QString("AA^BB^CC^DD^EE^01"));
        QCOMPARE(text("kassa.cfg", FleetModel::Name), QString());
        QVERIFY(loaded.wait(5000));
        QCOMPARE(loaded.size(), 1);

        QCOMPARE(text("default.cfg", FleetModel::Kind), QString("общий"));
        QCOMPARE(text("kassa.cfg", FleetModel::Kind), QString("имя"));
        QCOMPARE(text("kassa.cfg", FleetModel::Name), QString("kassa"));
        QCOMPARE(text("kassa.cfg", FleetModel::Ip), QString("10.0.0.011"));
        // 10.0.0.011 is 10.0.0.11: both files get the finding; term03 has a line not read.
        QCOMPARE(text("kassa.cfg", FleetModel::Findings), QString("дубль IP"));
        QCOMPARE(text("aa^bb^cc^dd^ee^01.cfg", FleetModel::Findings), QString("дубль IP"));
        QCOMPARE(text("term03.cfg", FleetModel::Findings), QString("строка пропущена"));
        QCOMPARE(text("default.cfg", FleetModel::Findings), QString());
        QCOMPARE(model->withFindings(), 3);
        const QString tip = text("term03.cfg", FleetModel::Findings, Qt::ToolTipRole);
        QVERIFY2(tip.startsWith("term03.cfg\nстрока 3 — строка не читается (ignored-line)"),
                 qPrintable(tip));
        QVERIFY(text("kassa.cfg", FleetModel::File, Qt::ToolTipRole)
                    .contains("IP-адрес задан и в другом файле (duplicate-ip)"));
        QCOMPARE(text("default.cfg", FleetModel::File, Qt::ToolTipRole), QString("default.cfg"));

        // Key columns after the fixed ones, headed by their keys.
        QCOMPARE(model->columnCount(), int(FleetModel::Keys));
        model->setKeys({idOf("USERN"), idOf("TSERV")});
        QCOMPARE(model->columnCount(), FleetModel::Keys + 2);
        QCOMPARE(model->headerData(FleetModel::Keys, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QString("USERN"));
        QCOMPARE(text("kassa.cfg", FleetModel::Keys), QString("Kasse"));
        QCOMPARE(text("kassa.cfg", FleetModel::Keys + 1), QString());
        // default.cfg sets TSERV: kassa.cfg departs by leaving it unset, term01 agrees, and
        // nobody departs by a name that default.cfg does not set.
        QVERIFY(departs("kassa.cfg", FleetModel::Keys + 1));
        QVERIFY(!departs("aa^bb^cc^dd^ee^01.cfg", FleetModel::Keys + 1));
        QVERIFY(!departs("default.cfg", FleetModel::Keys + 1));
        QVERIFY(!departs("kassa.cfg", FleetModel::Name));
        QVERIFY(text("kassa.cfg", FleetModel::Keys + 1, Qt::ToolTipRole)
                    .contains("В default.cfg: '10.0.0.2'"));
    }

    void folderThatCannotBeListedKeepsTheRows() {
        loadAll();
        QString error;
        QVERIFY(!model->load(tmp->path() + "/none", error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(model->rowCount(), 4);
        QCOMPARE(model->folder(), dir);
    }

    // A folder opened while another is still read: the first one's rows never show.
    void secondFolderReplacesOneStillRead() {
        const QString other = tmp->path() + "/other";
        QVERIFY(QDir().mkpath(other));
        spit(other + "/x.cfg", "MNAME='x'\r\n");
        QString error;
        QSignalSpy loaded(model.get(), &FleetModel::loaded);
        QVERIFY(model->load(dir, error));
        QVERIFY(model->load(other, error));
        QVERIFY(loaded.wait(5000));
        QTest::qWait(100);  // the first reading has ended too by now
        QCOMPARE(loaded.size(), 1);
        QCOMPARE(model->files(), std::vector<std::string>{"x.cfg"});
        QCOMPARE(text("x.cfg", FleetModel::Name), QString("x"));
    }

    // An unreadable file is a row with its reason, counted as a finding; an unreadable
    // default.cfg is no common file that others depart from.
    void unreadableFiles() {
        QFile big(dir + "/default.cfg");
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(17 * 1024 * 1024));
        big.close();
        loadAll();
        QCOMPARE(text("default.cfg", FleetModel::Findings), QString("не читается"));
        QVERIFY(text("default.cfg", FleetModel::File, Qt::ToolTipRole)
                    .contains("\nФайл не читается: "));
        QVERIFY(!model->index(model->rowOf("default.cfg"), FleetModel::File)
                     .data(Qt::DecorationRole)
                     .isNull());
        QCOMPARE(model->withFindings(), 4);
        model->setKeys({idOf("TSERV")});
        QVERIFY(!departs("kassa.cfg", FleetModel::Keys));
    }

    void sortAndFilter() {
        put("many.cfg", QByteArray("bad\r\n").repeated(10));
        put("Zeta.cfg", "MNAME='KASSA-2'\r\nbad\r\nbad\r\n");
        loadAll();
        FleetProxy proxy(model.get());
        const auto first = [&] { return proxy.index(0, FleetModel::File).data().toString(); };
        // Findings by their number (10 before 2), the other columns by text regardless of
        // case.
        proxy.sort(FleetModel::Findings, Qt::DescendingOrder);
        QCOMPARE(first(), QString("many.cfg"));
        QCOMPARE(proxy.index(1, FleetModel::Findings).data().toString(),
                 QString("строка пропущена (2)"));
        proxy.sort(FleetModel::File, Qt::DescendingOrder);
        QCOMPARE(first(), QString("Zeta.cfg"));
        proxy.sort(FleetModel::Name, Qt::AscendingOrder);
        QCOMPARE(proxy.index(model->rowCount() - 1, FleetModel::File).data().toString(),
                 QString("term03.cfg"));

        // Any cell, regardless of case; not across two cells; a key once its column is shown.
        proxy.setSearch("KaSSa");
        QCOMPARE(proxy.rowCount(), 2);
        proxy.setSearch("kassa.cfg\nимя");
        QCOMPARE(proxy.rowCount(), 0);
        proxy.setSearch("kasse");
        QCOMPARE(proxy.rowCount(), 0);
        model->setKeys({idOf("USERN")});
        QCOMPARE(proxy.rowCount(), 1);
        proxy.setSearch(QString());
        QCOMPARE(proxy.rowCount(), 6);
    }

    // The kept texts of a row follow it: its own change, and a finding another file gives it.
    void sortTextAndFilterFollowTheRows() {
        loadAll();
        const int term03 = model->rowOf("term03.cfg");
        QCOMPARE(model->sortText(term03, FleetModel::Name), QString("term03"));
        QCOMPARE(model->sortText(term03, FleetModel::Findings), QString("строка пропущена"));
        QVERIFY(!model->shows(term03, "10.0.0.113"));
        put("term03.cfg", "MNAME='renamed'\r\nIP='10.0.0.113'\r\nnot a line\r\n");
        model->refresh({});
        QCOMPARE(model->sortText(term03, FleetModel::Name), QString("renamed"));
        QVERIFY(model->shows(term03, "10.0.0.113"));
        QCOMPARE(model->sortText(term03, FleetModel::Findings), QString("строка пропущена"));
        // A new file takes term03's address: term03 itself was not read again.
        put("twin.cfg", "IP='10.0.0.113'\r\n");
        model->refresh({});
        const int row = model->rowOf("term03.cfg");
        QCOMPARE(model->sortText(row, FleetModel::Findings), QString("дубль IP, строка пропущена"));
        QVERIFY(model->shows(row, "дубль ip"));
        model->setKeys({idOf("TSERV")});
        QCOMPARE(model->sortText(model->rowOf("kassa.cfg"), FleetModel::Keys), QString());
        QCOMPARE(model->sortText(model->rowOf("aa^bb^cc^dd^ee^01.cfg"), FleetModel::Keys),
                 QString("10.0.0.2"));
    }

    // What changed on disk is read again, and only the rows it changes are told of.
    void refreshReadsWhatChanged() {
        loadAll();
        QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
        QSignalSpy inserted(model.get(), &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(model.get(), &QAbstractItemModel::rowsRemoved);
        model->refresh({});
        QCOMPARE(changed.size(), 0);

        // Written in place with a new length.
        put("kassa.cfg", "MNAME='kassa2'\r\nIP='10.0.0.15'\r\n");
        model->refresh({});
        QCOMPARE(text("kassa.cfg", FleetModel::Name), QString("kassa2"));
        // Its twin address is gone from term01 as well; term03 and default.cfg are untouched.
        QCOMPARE(text("aa^bb^cc^dd^ee^01.cfg", FleetModel::Findings), QString());
        QCOMPARE(covered(changed, 4),
                 (std::vector<bool>{true, false, true, false}));  // term01, kassa

        // As long as before and with the same time: read again only when named.
        changed.clear();
        put("kassa.cfg", "MNAME='kassa3'\r\nIP='10.0.0.15'\r\n");
        model->refresh({});
        QCOMPARE(text("kassa.cfg", FleetModel::Name), QString("kassa2"));
        model->refresh({"kassa.cfg"});
        QCOMPARE(text("kassa.cfg", FleetModel::Name), QString("kassa3"));
        QCOMPARE(covered(changed, 4), (std::vector<bool>{false, false, true, false}));

        // Added in its place by name, removed, and the folder gone for a while.
        QVERIFY(QFile::remove(dir + "/term03.cfg"));
        put("b.cfg", "MNAME='b'\r\n");
        model->refresh({});
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted[0][1].toInt(), 1);
        QCOMPARE(removed.size(), 1);
        QCOMPARE(model->files(), (std::vector<std::string>{"aa^bb^cc^dd^ee^01.cfg", "b.cfg",
                                                           "default.cfg", "kassa.cfg"}));
        QCOMPARE(text("b.cfg", FleetModel::Name), QString("b"));
        QVERIFY(QDir().rename(dir, dir + ".moved"));
        model->refresh({});
        QCOMPARE(model->rowCount(), 4);
        QVERIFY(QDir().rename(dir + ".moved", dir));

        // The common file's values change: every row may depart otherwise.
        model->setKeys({idOf("TSERV")});
        QVERIFY(!departs("aa^bb^cc^dd^ee^01.cfg", FleetModel::Keys));
        changed.clear();
        put("default.cfg", "TSERV='10.0.0.30'\r\n");
        model->refresh({});
        QVERIFY(departs("aa^bb^cc^dd^ee^01.cfg", FleetModel::Keys));
        QCOMPARE(covered(changed, 4), std::vector<bool>(4, true));
    }

    // Every code has its Russian words, and they are Russian: none is left to the tool's.
    void everyCodeIsWordedInRussian() {
        const auto russian = [](const QString& text) {
            return std::any_of(text.begin(), text.end(),
                               [](QChar c) { return c.script() == QChar::Script_Cyrillic; });
        };
        for (int c = 0; c <= static_cast<int>(fl::RefusalCode::NotAFile); ++c) {
            fl::Refusal r;
            r.code = static_cast<fl::RefusalCode>(c);
            r.key = "AUTOSTART";
            r.value.fault = ValueFault::OnOff;
            const QString text = fleettexts::refusalText(r);
            QVERIFY2(russian(text), qPrintable(QString("%1: %2").arg(c).arg(text)));
        }
        for (int c = 0; c <= static_cast<int>(LintCode::DroppedComment); ++c) {
            const QString text =
                findingtexts::lintText(static_cast<LintCode>(c), "VOLUME", "loud", "", false);
            QVERIFY2(russian(text), qPrintable(QString("%1: %2").arg(c).arg(text)));
        }
        for (int c = 1; c <= static_cast<int>(ValueFault::FailsCheck); ++c) {
            ValueRefusal why{static_cast<ValueFault>(c), "x"};
            QVERIFY(russian(findingtexts::valueRefusalText(param(idOf("RAZR")), why)));
        }
        for (std::string_view code : fleettexts::kFindingCodes) {
            QVERIFY(russian(fleettexts::shortName(code)));
            fl::Finding f;
            f.code = code;
            f.check = LintCode::Reset;
            f.key = "VOLUME";
            QVERIFY2(!fleettexts::findingMessage(f, "b.cfg").contains(qs(code)),
                     qPrintable(QString::fromUtf8(code.data(), code.size())));
        }
    }
};

QTEST_MAIN(FleetModelTest)
#include "fleetmodel_test.moc"
