#pragma once
// The mistakes window frmcwfx, "错误分析": which characters of the texts were typed wrong most
// often and what was typed instead, for one stored result or over all of one student's. An
// English page shows a keyboard coloured by each key's error rate over the list; a Chinese page
// lists the characters most often wrong with their counts. Any login may open it.

#include "exercise/mistakes.h"

#include <QDialog>
#include <memory>

class KeyboardPicture;
class QLabel;
class QTabWidget;
class QTableWidget;
class StoreClient;

class MistakesWindow : public QDialog {
    Q_OBJECT
public:
    // At most this many characters are listed on a page.
    static constexpr int kListed = 30;

    // `subject` names the results (who, which, when); `note` says what could not be counted.
    MistakesWindow(const QString& subject, const MistakesByKind& mistakes, const QString& note,
                   QWidget* parent = nullptr);

    QTabWidget* pages() const { return pages_; }            // SSTab1
    KeyboardPicture* keyboard() const { return keyboard_; } // on the English page, or null
    QTableWidget* list(ExerciseKind kind) const;            // Grid1 English, Grid2 Chinese; or null
    QLabel* subjectLabel() const { return subject_; }       // Label1
    QLabel* noteLabel() const { return note_; }             // Label2

private:
    QTableWidget* makeList(const MistakeTally& tally, const QString& name);
    QWidget* englishPage(const MistakeTally& tally);
    QWidget* chinesePage(const MistakeTally& tally);

    QLabel* subject_ = nullptr;
    QLabel* note_ = nullptr;
    QTabWidget* pages_ = nullptr;
    KeyboardPicture* keyboard_ = nullptr;
    QTableWidget* englishList_ = nullptr;
    QTableWidget* chineseList_ = nullptr;
};

// The window for one stored result (by its stdgrade rowid) or for every result of one student,
// read from the store under the login's session; null when there is nothing to show, after a
// message box has said why (no login, a result without a keystroke log, ...).
std::unique_ptr<MistakesWindow> makeMistakes(QWidget* parent, StoreClient& store, const QString& session, qint64 rowid);
std::unique_ptr<MistakesWindow> makeStudentMistakes(QWidget* parent, StoreClient& store, const QString& session,
                                                    const QString& studentNumber);
// The same, shown modally.
void openMistakes(QWidget* parent, StoreClient& store, const QString& session, qint64 rowid);
void openStudentMistakes(QWidget* parent, StoreClient& store, const QString& session, const QString& studentNumber);
