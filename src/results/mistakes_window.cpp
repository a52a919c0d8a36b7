#include "results/mistakes_window.h"

#include "exercise/exercise_kind.h"
#include "platform/fonts.h"
#include "platform/message_box.h"
#include "platform/twips.h"
#include "results/keyboard_picture.h"
#include "store/store_client.h"

#include <QHeaderView>
#include <QLabel>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const char kCaption[] = "错误分析";
constexpr int kWidth = 8880;
constexpr int kHeight = 7800;

// The list's columns: caption and width in twips.
struct Column {
    const char* caption;
    int width;
};
const Column kColumns[] = {
    {"字符", 900}, {"错误次数", 1000}, {"录入次数", 1000}, {"错误率", 900}, {"错录为", 4500},
};

QTableWidgetItem* cell(const QString& text, Qt::Alignment alignment = Qt::AlignCenter)
{
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(alignment | Qt::AlignVCenter);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

// Dates and times read as the history view shows them, in Chinese whatever the system locale.
QString rowSubject(const GradeRow& row)
{
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    return QStringLiteral("%1  %2  %3  %4  %5")
        .arg(row.xh, row.xm, row.lrxm, chinese.toString(row.lrdate, QLocale::ShortFormat),
             chinese.toString(row.lrtime, QLocale::ShortFormat));
}

void report(QWidget* parent, const StoreReply& reply)
{
    MessageBoxes::show(parent, QString::fromUtf8(kCaption),
                       QStringLiteral("无法分析错误。\n%1").arg(storeProblem(reply)));
}

} // namespace

MistakesWindow::MistakesWindow(const QString& subject, const MistakesByKind& mistakes, const QString& note,
                               QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmcwfx"));
    setWindowTitle(QString::fromUtf8(kCaption));
    setFont(Fonts::song(9));
    setFixedSize(Twips::toPixels(kWidth), Twips::toPixels(kHeight));

    auto* layout = new QVBoxLayout(this);
    subject_ = new QLabel(subject, this);
    subject_->setObjectName(QStringLiteral("Label1"));
    subject_->setFont(Fonts::song(12));
    layout->addWidget(subject_);

    note_ = new QLabel(note, this);
    note_->setObjectName(QStringLiteral("Label2"));
    note_->setWordWrap(true);
    note_->setVisible(!note.isEmpty());
    layout->addWidget(note_);

    pages_ = new QTabWidget(this);
    pages_->setObjectName(QStringLiteral("SSTab1"));
    if (mistakes.english.exercises() > 0)
        pages_->addTab(englishPage(mistakes.english), ExerciseKinds::name(ExerciseKind::English));
    if (mistakes.chinese.exercises() > 0)
        pages_->addTab(chinesePage(mistakes.chinese), ExerciseKinds::name(ExerciseKind::Chinese));
    layout->addWidget(pages_, 1);
}

QTableWidget* MistakesWindow::list(ExerciseKind kind) const
{
    return kind == ExerciseKind::English ? englishList_ : chineseList_;
}

QTableWidget* MistakesWindow::makeList(const MistakeTally& tally, const QString& name)
{
    const QList<CharacterMistakes> worst = tally.mostOften(kListed);
    auto* table = new QTableWidget(int(worst.size()), int(std::size(kColumns)));
    table->setObjectName(name);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(QFontMetrics(table->font()).height() + 6);
    QStringList captions;
    for (const Column& column : kColumns)
        captions << QString::fromUtf8(column.caption);
    table->setHorizontalHeaderLabels(captions);
    QHeaderView* header = table->horizontalHeader();
    for (int column = 0; column < int(std::size(kColumns)); ++column)
        header->resizeSection(column, Twips::toPixels(kColumns[column].width));
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setStretchLastSection(true);
    for (int row = 0; row < worst.size(); ++row) {
        const CharacterMistakes& entry = worst[row];
        table->setItem(row, 0, cell(Mistakes::shown(entry.character)));
        table->setItem(row, 1, cell(QString::number(entry.wrong)));
        table->setItem(row, 2, cell(QString::number(entry.typed)));
        table->setItem(row, 3, cell(QStringLiteral("%1%").arg(qRound(entry.errorRate() * 100))));
        table->setItem(row, 4, cell(Mistakes::typedInsteadText(entry), Qt::AlignLeft));
    }
    return table;
}

QWidget* MistakesWindow::englishPage(const MistakeTally& tally)
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    keyboard_ = new KeyboardPicture(page);
    keyboard_->setRates(UsKeyboard::rates(tally));
    keyboard_->setFixedHeight(keyboard_->sizeHint().height());
    layout->addWidget(keyboard_);
    englishList_ = makeList(tally, QStringLiteral("Grid1"));
    layout->addWidget(englishList_, 1);
    return page;
}

QWidget* MistakesWindow::chinesePage(const MistakeTally& tally)
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* summary = new QLabel(
        QStringLiteral("最常录错的字符（共录入 %1 个字符，错 %2 个）").arg(tally.typed()).arg(tally.wrong()), page);
    summary->setObjectName(QStringLiteral("Label3"));
    layout->addWidget(summary);
    chineseList_ = makeList(tally, QStringLiteral("Grid2"));
    layout->addWidget(chineseList_, 1);
    return page;
}

std::unique_ptr<MistakesWindow> makeMistakes(QWidget* parent, StoreClient& store, const QString& session, qint64 rowid)
{
    const ResultLogReply reply = store.resultLog(session, rowid, false);
    if (!reply.ok()) {
        report(parent, reply);
        return nullptr;
    }
    MistakesByKind mistakes;
    mistakes.add(reply.entry.kind, reply.entry.text, reply.entry.log);
    if (mistakes.unusable > 0) {
        MessageBoxes::show(parent, QString::fromUtf8(kCaption), QStringLiteral("这条成绩的录入记录无法读取。"));
        return nullptr;
    }
    return std::make_unique<MistakesWindow>(rowSubject(reply.entry.row), mistakes, QString(), parent);
}

std::unique_ptr<MistakesWindow> makeStudentMistakes(QWidget* parent, StoreClient& store, const QString& session,
                                                    const QString& studentNumber)
{
    const StudentLogsReply reply = store.studentLogs(session, studentNumber);
    if (!reply.ok()) {
        report(parent, reply);
        return nullptr;
    }
    MistakesByKind mistakes;
    for (const ResultLogEntry& entry : reply.entries)
        mistakes.add(entry.kind, entry.text, entry.log);
    const int counted = int(reply.entries.size()) - mistakes.unusable;
    if (counted == 0) {
        MessageBoxes::show(parent, QString::fromUtf8(kCaption),
                           reply.withoutLog > 0
                               ? QStringLiteral("学号 %1 的成绩都没有保存录入记录，无法分析错误。").arg(studentNumber)
                               : QStringLiteral("没有学号 %1 的成绩。").arg(studentNumber));
        return nullptr;
    }
    QStringList notes;
    if (reply.withoutLog > 0)
        notes << QStringLiteral("%1 条成绩没有保存录入记录，没有计入。").arg(reply.withoutLog);
    if (reply.leftOut > 0)
        notes << QStringLiteral("较早的 %1 条成绩超出一次能读取的数量，没有计入。").arg(reply.leftOut);
    if (mistakes.unusable > 0)
        notes << QStringLiteral("%1 条录入记录无法读取，没有计入。").arg(mistakes.unusable);
    const GradeRow& newest = reply.entries.constFirst().row;
    const QString subject = QStringLiteral("%1  %2  全部 %3 次录入").arg(newest.xh, newest.xm).arg(counted);
    return std::make_unique<MistakesWindow>(subject, mistakes, notes.join(QLatin1Char(' ')), parent);
}

void openMistakes(QWidget* parent, StoreClient& store, const QString& session, qint64 rowid)
{
    if (const auto window = makeMistakes(parent, store, session, rowid))
        window->exec();
}

void openStudentMistakes(QWidget* parent, StoreClient& store, const QString& session, const QString& studentNumber)
{
    if (const auto window = makeStudentMistakes(parent, store, session, studentNumber))
        window->exec();
}
