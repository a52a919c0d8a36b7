#include "maintenance/clear_history_dialog.h"

#include "store/store_client.h"
#include "platform/fonts.h"
#include "platform/message_box.h"
#include "platform/twips.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

ClearHistoryDialog::ClearHistoryDialog(StoreClient& store, const QString& session, QWidget* parent)
    : QDialog(parent), store_(store), session_(session)
{
    setObjectName(QStringLiteral("frmqclsjl"));
    setWindowTitle(QStringLiteral("清除历史记录"));
    setFont(Fonts::song(10.5));

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("Label1"));
    status_->setWordWrap(true);
    status_->setAlignment(Qt::AlignCenter);
    status_->setMinimumSize(Twips::toPixels(3600), Twips::toPixels(600));

    confirm_ = new QPushButton(QStringLiteral("确定"), this);
    confirm_->setObjectName(QStringLiteral("Command1"));
    confirm_->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Twips::toPixels(360), Twips::toPixels(360), Twips::toPixels(360), Twips::toPixels(360));
    layout->setSpacing(Twips::toPixels(240));
    layout->addWidget(status_);
    layout->addWidget(confirm_, 0, Qt::AlignHCenter);

    connect(confirm_, &QPushButton::clicked, this, &ClearHistoryDialog::clear);
}

void ClearHistoryDialog::clear()
{
    status_->setText(QStringLiteral("开始清理历史记录……"));
    status_->repaint();
    // Both tables (and the results' logs) in one transaction: all or nothing.
    const StoreReply reply = store_.clearHistory(session_);
    if (!reply.ok()) {
        const QString problem = QStringLiteral("清理历史记录失败，记录未改动：") + storeProblem(reply);
        status_->setText(problem);
        MessageBoxes::show(this, QStringLiteral("提示对话框"), problem);
        return;
    }
    status_->setText(QStringLiteral("清理完必！"));
    confirm_->setEnabled(false);
}
