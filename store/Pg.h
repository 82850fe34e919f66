#pragma once
// The connection to the shared city's PostgreSQL server through libpq: one
// connection per user of it (never shared between threads), statements
// with their values passed apart from the text, transactions that roll back
// unless committed, COPY in and out in PostgreSQL's binary format, and the
// server's refusals told in Russian.  A connection string is never shown:
// messages name the database, the server and the user only.

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct pg_conn;
struct pg_result;

namespace dm {

// What the operator is told (Russian).  `sqlState` is the server's code of
// the refusal ("42501" no rights, ...), empty for the client's own.
class StoreError : public std::runtime_error {
public:
    explicit StoreError(const std::string& text, std::string sqlState = {})
        : std::runtime_error(text), sqlState_(std::move(sqlState)) {}
    const std::string& sqlState() const { return sqlState_; }

private:
    std::string sqlState_;
};

class PgResult {
public:
    explicit PgResult(pg_result* r = nullptr) : r_(r) {}
    ~PgResult();
    PgResult(PgResult&& o) noexcept : r_(o.r_) { o.r_ = nullptr; }
    PgResult& operator=(PgResult&& o) noexcept;
    PgResult(const PgResult&) = delete;
    PgResult& operator=(const PgResult&) = delete;

    int rows() const;
    bool isNull(int row, int col) const;
    std::string text(int row, int col) const;
    long long integer(int row, int col) const;
    std::string bytes(int row, int col) const;  // a bytea value (text result) decoded

private:
    pg_result* r_;
};

class PgConnection {
public:
    // A libpq connection string or a postgresql:// URL; PGHOST, PGUSER,
    // PGPASSFILE and ~/.pgpass are honoured by libpq itself.
    explicit PgConnection(const std::string& conninfo);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // "база «darvent» на /tmp/db:55432, пользователь ivanov": no password.
    std::string describe() const;
    std::string database() const;
    std::string user() const;
    pg_conn* raw() const { return c_; }
    // The socket the server's messages arrive on (to wait for notifications).
    int socket() const;

    // A statement; `params` are passed as text apart from it ($1, $2, ...;
    // nullopt is NULL).  Throws StoreError on refusal.
    PgResult exec(std::string_view sql, const std::vector<std::optional<std::string>>& params = {});

    // COPY ... FROM STDIN (FORMAT binary): `fill` writes the rows.
    class CopyIn;
    void copyIn(std::string_view copySql, const std::function<void(CopyIn&)>& fill);
    // COPY ... TO STDOUT (FORMAT binary): `row` gets each row's fields.
    class Row;
    void copyOut(std::string_view copySql, const std::function<void(const Row&)>& row);

private:
    void throwError(const char* what, pg_result* r) const;
    pg_conn* c_ = nullptr;
};

// The rows of a binary COPY into a table, written field by field in the
// order of the COPY's columns; sent to the server a megabyte at a time.
class PgConnection::CopyIn {
public:
    explicit CopyIn(PgConnection& c) : c_(c) {}
    void beginRow(int fields);
    void null();
    void i16(int16_t v);
    void i32(int32_t v);
    void i64(int64_t v);
    void f64(double v);
    void bytes(const void* p, size_t n);
    void text(std::string_view s) { bytes(s.data(), s.size()); }
    // A float8[] of n values.
    void f64Array(const double* v, size_t n);
    // The raw field: its length, then what `put` appends to `buf`.
    std::string& buffer() { return buf_; }
    void flush(bool all);

private:
    friend class PgConnection;
    PgConnection& c_;
    std::string buf_;
};

// One row of a binary COPY out: its fields as bytes (null when NULL).
class PgConnection::Row {
public:
    int fields() const { return int(at_.size()); }
    bool isNull(int i) const { return at_[size_t(i)] == nullptr; }
    std::string_view bytes(int i) const { return {at_[size_t(i)], len_[size_t(i)]}; }
    int16_t i16(int i) const;
    int32_t i32(int i) const;
    int64_t i64(int i) const;
    double f64(int i) const;
    // A float8[]'s values appended to `out`.
    void f64Array(int i, std::vector<double>& out) const;

private:
    friend class PgConnection;
    std::vector<const char*> at_;
    std::vector<size_t> len_;
};

// A transaction that rolls back unless committed.
class PgTransaction {
public:
    explicit PgTransaction(PgConnection& c) : c_(c) { c_.exec("begin"); }
    ~PgTransaction();
    void commit();

private:
    PgConnection& c_;
    bool done_ = false;
};

// A connection string as it may be kept or shown: without its password
// (the user:password@ of a URL, a password parameter of a URL or of a
// key=value string).
std::string ConnectionWithoutPassword(const std::string& conninfo);

// A text as a quoted SQL identifier or literal (for the few statements that
// take no parameters: GRANT, CREATE ROLE).
std::string QuoteIdentifier(std::string_view s);
std::string QuoteLiteral(std::string_view s);

}  // namespace dm
