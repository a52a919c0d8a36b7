#pragma once
// The collection dialog frmdjsf ("收分"): single-machine collection onto the diskette,
// network collection from the laboratory machines, or collection from the school server, for
// one batch.

#include "collect/network_collection.h"
#include "collect/score_collection.h"
#include "collect/server_collection.h"

#include <QDialog>
#include <QPointer>

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class StoreClient;

class CollectionDialog : public QDialog, private CollectionView {
    Q_OBJECT
public:
    // Single-machine collection reads the batch from this machine's results through the store.
    explicit CollectionDialog(StoreClient& store, QWidget* parent = nullptr);

    // The button's work; Enter in the batch box does the same.
    void runCollection();

protected:
    // Closing during a network run stops it; every machine stored so far stays stored.
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    void modeChosen(int index);
    void runFinished();
    void runServerCollection(const QString& batch);
    // The path frame's rows for the mode: the server's needs two more (user and password).
    void layOut(bool server);
    bool running() const { return network_.running() || server_.running(); }
    void setControlsEnabled(bool enabled);
    void setProgressLine(const QString& text) override;
    void setResultLine(const QString& text) override;
    void machineDone(int machine, int machinesFound) override;

    StoreClient& store_;
    // Object names, which tests find them by, in brackets.
    static constexpr int kModes = 3;
    // single-machine, network, school server (Option1_0, Option1_1, Option1_2)
    QRadioButton* modeButtons_[kModes] = {};
    QLabel* pathCaption_ = nullptr;        // Label1
    QLineEdit* pathBox_ = nullptr;         // Text1: target folder, source prefix or server address
    QLabel* batchCaption_ = nullptr;       // Label3
    QLineEdit* batchBox_ = nullptr;        // Text2
    QLabel* userCaption_ = nullptr;        // Label5, server mode only
    QLineEdit* userBox_ = nullptr;         // Text3
    QLabel* passwordCaption_ = nullptr;    // Label6, server mode only
    QLineEdit* passwordBox_ = nullptr;     // Text4, shows no characters; never saved
    QPushButton* confirmButton_ = nullptr; // Command1
    QGroupBox* pathFrame_ = nullptr;       // Frame2
    QGroupBox* infoFrame_ = nullptr;       // Frame3
    QLabel* progressLine_ = nullptr;       // Label2
    QLabel* resultLine_ = nullptr;         // Label4
    QProgressBar* progressBar_ = nullptr;
    NetworkCollection network_{*this};
    ServerCollection server_{*this};
    QPointer<QWidget> focusBeforeRun_; // given back its focus when a run ends
};

// The menu item's work: the dialog, modal, made afresh at each opening.
void openCollectionDialog(QWidget* parent, StoreClient& store);
