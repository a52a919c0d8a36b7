#include "collect/export_dialog.h"

#include "collect/score_collection.h"
#include "collect/score_export.h"
#include "platform/controls.h"
#include "platform/file_chooser.h"
#include "platform/fonts.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/twips.h"
#include "platform/byte_length.h"

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString kTitle = QStringLiteral("导出成绩");
const QString kDisketteSource = QStringLiteral("A:\\学生成绩.mdb");

} // namespace

ExportDialog::ExportDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmdccj"));
    setWindowTitle(kTitle);
    setFont(Fonts::song(10.5));
    setFixedSize(Twips::toPixels(7200), Twips::toPixels(4800));
    buildControls();
    batchBox_->setFocus();
}

void ExportDialog::buildControls()
{
    auto* settings = new QGroupBox(QStringLiteral("导出设置"), this);
    settings->setObjectName(QStringLiteral("Frame1"));
    settings->setGeometry(Twips::rect(120, 60, 6960, 2280));

    placeControl<QLabel>(settings, "Label1", Twips::rect(240, 380, 1200, 300), QStringLiteral("成绩来源："));
    sourceBox_ = new QComboBox(settings);
    sourceBox_->setObjectName(QStringLiteral("ComboBox1"));
    sourceBox_->setEditable(true);
    sourceBox_->addItem(QDir::toNativeSeparators(QDir::current().absoluteFilePath(ScoreCollection::networkTargetName)));
    sourceBox_->addItem(kDisketteSource);
    sourceBox_->setGeometry(Twips::rect(1440, 320, 4080, 380));
    connect(placeControl<QPushButton>(settings, "Command2", Twips::rect(5640, 300, 1080, 420), QStringLiteral("浏览…")),
            &QPushButton::clicked, this, &ExportDialog::chooseSource);

    placeControl<QLabel>(settings, "Label2", Twips::rect(240, 900, 1200, 300), QStringLiteral("批 次 号："));
    batchBox_ = new QLineEdit(settings);
    batchBox_->setObjectName(QStringLiteral("Text1"));
    batchBox_->setPlaceholderText(QStringLiteral("不填则导出全部批次"));
    batchBox_->setGeometry(Twips::rect(1440, 840, 2880, 380));

    placeControl<QLabel>(settings, "Label3", Twips::rect(240, 1420, 1200, 300), QStringLiteral("导出文件："));
    outputBox_ = new QLineEdit(
        QDir::toNativeSeparators(QDir::current().absoluteFilePath(QStringLiteral("击录测试成绩.xlsx"))), settings);
    outputBox_->setObjectName(QStringLiteral("Text2"));
    outputBox_->setGeometry(Twips::rect(1440, 1360, 4080, 380));
    connect(
        placeControl<QPushButton>(settings, "Command3", Twips::rect(5640, 1340, 1080, 420), QStringLiteral("浏览…")),
        &QPushButton::clicked, this, &ExportDialog::chooseOutput);

    exportButton_ =
        placeControl<QPushButton>(settings, "Command1", Twips::rect(5640, 1800, 1080, 420), QStringLiteral("导出"));
    connect(exportButton_, &QPushButton::clicked, this, &ExportDialog::runExport);

    auto* info = new QGroupBox(QStringLiteral("导出信息"), this);
    info->setObjectName(QStringLiteral("Frame2"));
    info->setGeometry(Twips::rect(120, 2460, 6960, 2220));
    statusLine_ = placeControl<QLabel>(info, "Label4", Twips::rect(240, 330, 6480, 1740));
    statusLine_->setWordWrap(true);
    statusLine_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    statusLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    setTabOrder(batchBox_, sourceBox_);
    setTabOrder(sourceBox_, outputBox_);
    setTabOrder(outputBox_, exportButton_);
}

void ExportDialog::chooseSource()
{
    const QString chosen = FileChooser::getOpenFileName(this, QStringLiteral("选择成绩来源"),
                                                        QStringLiteral("成绩文件|*.mdb|所有文件|*.*"),
                                                        sourceBox_->currentText(), QDir::currentPath());
    sourceBox_->setEditText(chosen);
}

void ExportDialog::chooseOutput()
{
    const QString chosen = FileChooser::getSaveFileName(
        this, QStringLiteral("导出到"), QStringLiteral("Excel 工作簿|*.xlsx|CSV 文件|*.csv"), outputBox_->text());
    outputBox_->setText(chosen);
}

void ExportDialog::runExport()
{
    const QString batch = trimSpaces(batchBox_->text());
    if (!batch.isEmpty() && !ScoreCollection::batchAccepted(batch)) {
        MessageBoxes::show(this, kTitle, ScoreCollection::batchRefusal);
        return;
    }
    const QString output = trimSpaces(outputBox_->text());
    ScoreExport::Format format;
    if (!ScoreExport::formatOf(output, &format)) {
        statusLine_->setText(QStringLiteral("请选择导出文件：文件名须以 .xlsx 或 .csv 结尾。"));
        return;
    }
    statusLine_->setText(QStringLiteral("正在导出，请等候……"));
    statusLine_->repaint();
    const QString source = Paths::toLocal(trimSpaces(sourceBox_->currentText()));
    statusLine_->setText(ScoreExport::run(source, batch, Paths::toLocal(output)).message);
}

void openExportDialog(QWidget* parent)
{
    ExportDialog dialog(parent);
    dialog.exec();
}
