#include "collect/live_window.h"

#include "collect/score_collection.h"
#include "platform/byte_length.h"
#include "platform/fonts.h"
#include "platform/message_box.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace {

// Column widths in pixels at 10.5 pt: a student number, a name of three characters, the
// captions; the marks take what is left of an 800-pixel window.
constexpr int kColumnWidths[LiveAttemptsModel::Columns] = {88, 52, 50, 70, 52, 68, 68, 42, 54, 40, 68, 100};

} // namespace

LiveWindow::LiveWindow(BatchWatch* watch, const QList<LiveAttempt>& firstRows, QWidget* parent)
    : QWidget(parent, Qt::Window), watch_(watch)
{
    setObjectName(QStringLiteral("frmjk"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("监考 - 批次 %1").arg(watch->batch()));
    setFont(Fonts::song(10.5));
    watch_->setParent(this);

    auto* title =
        new QLabel(QStringLiteral("批次 %1　　服务器 %2").arg(watch->batch(), watch->login().shownAddress()), this);
    title->setObjectName(QStringLiteral("Label3"));
    model_ = new LiveAttemptsModel([watch] { return watch->serverNow(); }, this);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("Grid1"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(22);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->horizontalHeader()->setHighlightSections(false);
    for (int column = 0; column < LiveAttemptsModel::Columns; ++column)
        table_->setColumnWidth(column, kColumnWidths[column]);
    counts_ = new QLabel(this);
    counts_->setObjectName(QStringLiteral("Label1"));
    link_ = new QLabel(this);
    link_->setObjectName(QStringLiteral("Label2"));
    link_->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(table_, 1);
    layout->addWidget(counts_);
    layout->addWidget(link_);
    resize(800, 560);

    model_->merge(firstRows);
    showCounts();
    link_->setText(QStringLiteral("已连接服务器 %1，随时更新").arg(watch->login().shownAddress()));
    connect(watch_, &BatchWatch::rowsRead, this, [this](const QList<LiveAttempt>& rows) {
        model_->merge(rows);
        showCounts();
    });
    connect(watch_, &BatchWatch::linkChanged, this, [this](bool, const QString& text) { link_->setText(text); });
    connect(&reevaluate_, &QTimer::timeout, this, [this] {
        model_->reevaluate();
        showCounts();
    });
    reevaluate_.start(kReevaluateMilliseconds);
}

void LiveWindow::showCounts()
{
    const LiveAttemptsModel::Counts counts = model_->counts();
    // A student who took the batch on two machines is one person on two rows.
    const QString people = counts.students == model_->rowCount()
                               ? QStringLiteral("共 %1 人").arg(counts.students)
                               : QStringLiteral("共 %1 人（%2 台次）").arg(counts.students).arg(model_->rowCount());
    counts_->setText(QStringLiteral("%1：录入中 %2，已交卷 %3，无响应 %4，已登录未录入 %5，有标记 %6")
                         .arg(people)
                         .arg(counts.typing)
                         .arg(counts.finished)
                         .arg(counts.silent)
                         .arg(counts.waiting)
                         .arg(counts.marked));
}

LiveLoginDialog::LiveLoginDialog(const QString& appFolder, QWidget* parent) : QDialog(parent), appFolder_(appFolder)
{
    setObjectName(QStringLiteral("frmjkdl"));
    setWindowTitle(QStringLiteral("监考登录"));
    setFont(Fonts::song(10.5));
    auto* grid = new QGridLayout(this);
    const auto addRow = [this, grid](int row, const char* labelName, const char* caption, const char* boxName) {
        auto* label = new QLabel(QString::fromUtf8(caption), this);
        label->setObjectName(QString::fromLatin1(labelName));
        auto* box = new QLineEdit(this);
        box->setObjectName(QString::fromLatin1(boxName));
        box->setMinimumWidth(220);
        box->installEventFilter(this);
        grid->addWidget(label, row, 0);
        grid->addWidget(box, row, 1);
        return box;
    };
    addressBox_ = addRow(0, "Label1", "服 务 器：", "Text1");
    userBox_ = addRow(1, "Label5", "用 户 名：", "Text3");
    passwordBox_ = addRow(2, "Label6", "密    码：", "Text4");
    passwordBox_->setEchoMode(QLineEdit::Password);
    batchBox_ = addRow(3, "Label3", "批 次 号：", "Text2");
    confirm_ = new QPushButton(QStringLiteral("确定"), this);
    confirm_->setObjectName(QStringLiteral("Command1"));
    grid->addWidget(confirm_, 0, 2, 2, 1);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("Label2"));
    status_->setWordWrap(true);
    status_->setMinimumHeight(60);
    status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    grid->addWidget(status_, 4, 0, 1, 3);
    connect(confirm_, &QPushButton::clicked, this, &LiveLoginDialog::login);
    addressBox_->setFocus();
}

bool LiveLoginDialog::eventFilter(QObject* watched, QEvent* event)
{
    // Enter in any box logs in, as the button does.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            login();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void LiveLoginDialog::login()
{
    if (pending_)
        return;
    const ServerLogin typed{addressBox_->text(), userBox_->text(), passwordBox_->text()};
    const QString batch = trimSpaces(batchBox_->text());
    QString refusal = typed.refusal();
    if (refusal.isEmpty() && !ScoreCollection::batchAccepted(batch))
        refusal = ScoreCollection::batchRefusal;
    if (!refusal.isEmpty()) {
        MessageBoxes::show(this, QStringLiteral("监考登录"), refusal);
        return;
    }
    setControlsEnabled(false);
    status_->setText(QStringLiteral("正在连接学校服务器 %1，请等候……").arg(typed.shownAddress()));
    auto* watch = new BatchWatch(typed, appFolder_, batch, this);
    pending_ = watch;
    connect(watch, &BatchWatch::loginFailed, this, &LiveLoginDialog::failed);
    connect(watch, &BatchWatch::rowsRead, this, [this, watch](const QList<LiveAttempt>& rows) {
        disconnect(watch, nullptr, this, nullptr);
        pending_ = nullptr;
        // The live window lives beside the main window, not inside this modal one.
        window_ = new LiveWindow(watch, rows, parentWidget());
        window_->show();
        passwordBox_->clear();
        accept();
    });
    watch->start();
}

void LiveLoginDialog::failed(const QString& message)
{
    if (pending_)
        pending_->deleteLater();
    pending_ = nullptr;
    status_->setText(message);
    setControlsEnabled(true);
    passwordBox_->setFocus();
}

void LiveLoginDialog::setControlsEnabled(bool enabled)
{
    for (QWidget* control :
         {static_cast<QWidget*>(addressBox_), static_cast<QWidget*>(userBox_), static_cast<QWidget*>(passwordBox_),
          static_cast<QWidget*>(batchBox_), static_cast<QWidget*>(confirm_)})
        control->setEnabled(enabled);
}

void openLiveView(QWidget* parent, const QString& appFolder)
{
    LiveLoginDialog dialog(appFolder, parent);
    dialog.exec();
}
