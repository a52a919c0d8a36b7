#pragma once
// The rows of the history view: every stored result, newest first, read a page at a time
// from its source, so that a long history opens at once and only the rows on screen are ever
// read.

#include "store/store_history.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <memory>
#include <optional>

class HistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumnCount = 9;
    static constexpr int kPageSize = 200;
    static constexpr int kCachedPages = 32;

    explicit HistoryModel(QObject* parent = nullptr);
    ~HistoryModel() override;

    // Counts the source's results and reads from it from now on. When the source cannot count
    // them, the answer says why; the model then stays empty and keeps no source.
    StoreReply open(std::unique_ptr<HistoryPages::Source> source);
    // Reads from another source (the results a filter lets through) once it has counted them;
    // when it cannot, the answer says why and the rows stay as they were.
    StoreReply reopen(std::unique_ptr<HistoryPages::Source> source);
    // Lets the source go; the model becomes empty.
    void close();
    bool isOpen() const { return source_ != nullptr; }

    // The result shown in a row, read if need be; nothing when it cannot be read.
    std::optional<GradeRow> result(int row) const;

    // The column captions and widths in twips, by column index.
    static QString caption(int column);
    static int widthTwips(int column);
    // The value a result shows in a column, as the grid draws it.
    static QString displayText(const GradeRow& row, int column);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // How many pages have been read from the database, and how many of them by key next to a
    // page already read (benchmarks and tests).
    int pagesRead() const { return pagesRead_; }
    int pagesReadByKey() const { return pagesReadByKey_; }

signals:
    // A page could not be read after the window opened; the model has emptied itself.
    void readFailed(const QString& message);

private:
    const GradeRow* rowAt(int row) const;
    void failAfterOpen(const QString& message);

    std::unique_ptr<HistoryPages::Source> source_; // pages are read while the grid paints
    int rows_ = 0;
    // The page, or the store's answer when it could not be read.
    PageReply readPage(int page) const;

    mutable QHash<int, HistoryPages::Page> pages_; // page number -> rows
    mutable QList<int> pageUse_;                   // least recently used first
    mutable int pagesRead_ = 0;
    mutable int pagesReadByKey_ = 0;
    mutable bool failing_ = false;
};
