#include "platform/schema_reader.h"

#include <algorithm>
#include <initializer_list>

namespace {

// The engine's character classes. Every byte of a multi-byte UTF-8 character belongs to a word,
// so Chinese column names need no quotes. A vertical tab is white space to the engine only
// after other white space; it is refused here rather than followed.
bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool startsWord(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

bool continuesWord(char c)
{
    return startsWord(c) || isDigit(c) || c == '$';
}

enum class Token { End, Word, Quoted, Number, Open, Close, Comma, Other };

// Splits a statement into the engine's tokens. Anything the grammar below never needs (a
// string, an operator, a dot, a semicolon, an unterminated quote or comment) is Other.
class Lexer {
public:
    explicit Lexer(const QByteArray& sql) : sql_(sql) {}

    Token next()
    {
        text_.clear();
        if (!skipSpace())
            return Token::Other;
        if (at_ == sql_.size())
            return Token::End;
        const qsizetype start = at_;
        const char c = sql_.at(at_++);
        if (startsWord(c)) {
            while (at_ < sql_.size() && continuesWord(sql_.at(at_)))
                ++at_;
            text_ = sql_.mid(start, at_ - start);
            return Token::Word;
        }
        if (isDigit(c)) {
            while (at_ < sql_.size() && isDigit(sql_.at(at_)))
                ++at_;
            // 10.5, 1e3, 0x1A and 10abc are other tokens to the engine.
            if (at_ < sql_.size() && (continuesWord(sql_.at(at_)) || sql_.at(at_) == '.'))
                return Token::Other;
            text_ = sql_.mid(start, at_ - start);
            return Token::Number;
        }
        switch (c) {
        case '"':
        case '`':
            return quoted(c);
        case '[': {
            // Ends at the first ]: the engine knows no escape inside brackets.
            const qsizetype close = sql_.indexOf(']', at_);
            if (close < 0)
                return Token::Other;
            text_ = sql_.mid(at_, close - at_);
            at_ = close + 1;
            return Token::Quoted;
        }
        case '(':
            return Token::Open;
        case ')':
            return Token::Close;
        case ',':
            return Token::Comma;
        default:
            return Token::Other;
        }
    }

    // The word, the number, or the name without its quotes.
    const QByteArray& text() const { return text_; }

private:
    // Skips white space and comments; false at a comment that never ends.
    bool skipSpace()
    {
        while (at_ < sql_.size()) {
            if (isSpace(sql_.at(at_))) {
                ++at_;
            } else if (sql_.mid(at_, 2) == "--") {
                const qsizetype lineEnd = sql_.indexOf('\n', at_);
                at_ = lineEnd < 0 ? sql_.size() : lineEnd;
            } else if (sql_.mid(at_, 2) == "/*") {
                const qsizetype close = sql_.indexOf("*/", at_ + 2);
                if (close < 0)
                    return false;
                at_ = close + 2;
            } else {
                break;
            }
        }
        return true;
    }

    // A name in double quotes or backticks, where a doubled quote stands for one.
    Token quoted(char quote)
    {
        while (at_ < sql_.size()) {
            const char c = sql_.at(at_++);
            if (c != quote) {
                text_ += c;
            } else if (at_ < sql_.size() && sql_.at(at_) == quote) {
                text_ += c;
                ++at_;
            } else {
                return Token::Quoted;
            }
        }
        return Token::Other;
    }

    const QByteArray& sql_;
    qsizetype at_ = 0;
    QByteArray text_;
};

using SchemaReader::Reading;
using SchemaReader::sameName;

// Recursive descent over the two statements; every helper answers false at the first token
// that does not fit, and the whole statement is then refused.
class Parser {
public:
    Parser(const QByteArray& sql, const QList<ExpectedTable>& expected) : lexer_(sql), expected_(expected)
    {
        advance();
    }

    Reading statement()
    {
        Reading reading;
        if (!keyword("CREATE"))
            return reading;
        if (keyword("TABLE")) {
            if (table(reading))
                reading.kind = Reading::Kind::Table;
        } else {
            keyword("UNIQUE");
            if (keyword("INDEX") && index(reading))
                reading.kind = Reading::Kind::Index;
        }
        return reading;
    }

private:
    void advance() { token_ = lexer_.next(); }

    // Takes a bare word that is the keyword; a quoted word is a name, never a keyword.
    bool keyword(const char* word)
    {
        if (token_ != Token::Word || !sameName(lexer_.text(), word))
            return false;
        advance();
        return true;
    }

    bool oneOf(std::initializer_list<const char*> words)
    {
        return std::any_of(words.begin(), words.end(), [this](const char* word) { return keyword(word); });
    }

    bool punctuation(Token kind)
    {
        if (token_ != kind)
            return false;
        advance();
        return true;
    }

    bool name(QByteArray* text)
    {
        if (token_ != Token::Word && token_ != Token::Quoted)
            return false;
        *text = lexer_.text();
        advance();
        return true;
    }

    // The expected table the next name names.
    bool expectedTable(int* table, QByteArray* text)
    {
        if (!name(text))
            return false;
        for (int i = 0; i < expected_.size(); ++i) {
            if (sameName(*text, expected_.at(i).name.toUtf8())) {
                *table = i;
                return true;
            }
        }
        return false;
    }

    // The next name as a column of the table not seen before in this statement.
    bool column(const ExpectedTable& table, QList<bool>& seen, int* position)
    {
        QByteArray text;
        if (!name(&text))
            return false;
        for (int i = 0; i < table.columns.size(); ++i) {
            if (sameName(text, table.columns.at(i).toUtf8()) && !seen.at(i)) {
                seen[i] = true;
                *position = i;
                return true;
            }
        }
        return false;
    }

    // A declared type from the list, or none.
    bool type()
    {
        if (oneOf({"TEXT", "INTEGER", "INT", "REAL", "DOUBLE", "FLOAT", "NUMERIC", "DATE", "TIME", "DATETIME"}))
            return true;
        if (!oneOf({"CHAR", "VARCHAR", "NVARCHAR"}))
            return token_ == Token::Comma || token_ == Token::Close;
        if (!punctuation(Token::Open) || token_ != Token::Number || lexer_.text().size() > 9)
            return false;
        advance();
        return punctuation(Token::Close);
    }

    bool table(Reading& reading)
    {
        if (!expectedTable(&reading.table, &reading.name) || !punctuation(Token::Open))
            return false;
        const ExpectedTable& table = expected_.at(reading.table);
        QList<bool> seen(table.columns.size(), false);
        for (int count = 0;; ++count) {
            int position = -1;
            if (!column(table, seen, &position) || (table.columnsInOrder && position != count) || !type())
                return false;
            if (punctuation(Token::Close))
                return count + 1 == table.columns.size() && token_ == Token::End;
            if (!punctuation(Token::Comma))
                return false;
        }
    }

    bool index(Reading& reading)
    {
        QByteArray table;
        // Names beginning with sqlite_ are the engine's own.
        if (!name(&reading.name) || reading.name.isEmpty() || sameName(reading.name.left(7), "sqlite_")
            || !keyword("ON") || !expectedTable(&reading.table, &table) || !punctuation(Token::Open))
            return false;
        const ExpectedTable& expected = expected_.at(reading.table);
        QList<bool> seen(expected.columns.size(), false);
        for (;;) {
            int position = -1;
            if (!column(expected, seen, &position))
                return false;
            if (keyword("COLLATE")) {
                QByteArray collation;
                if (!name(&collation)
                    || !(sameName(collation, "NOCASE") || sameName(collation, "BINARY")
                         || sameName(collation, "RTRIM")))
                    return false;
            }
            oneOf({"ASC", "DESC"});
            if (punctuation(Token::Close))
                return token_ == Token::End;
            if (!punctuation(Token::Comma))
                return false;
        }
    }

    Lexer lexer_;
    const QList<ExpectedTable>& expected_;
    Token token_ = Token::End;
};

} // namespace

namespace SchemaReader {

bool sameName(const QByteArray& a, const QByteArray& b)
{
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return fold(x) == fold(y); });
}

Reading read(const QByteArray& sql, const QList<ExpectedTable>& expected)
{
    // The engine reads a statement up to its first NUL; nothing of ours holds one.
    if (sql.contains('\0'))
        return {};
    return Parser(sql, expected).statement();
}

} // namespace SchemaReader
