#include "Pg.h"

#include <libpq-fe.h>

#include <algorithm>
#include <bit>
#include <cstring>

namespace dm {

namespace {

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

bool has(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

// The server's text after "ERROR:  " and before its first line break.
std::string primary(const std::string& msg) {
    std::string s = msg;
    for (const char* p : {"ERROR:  ", "FATAL:  "})
        if (s.rfind(p, 0) == 0) s = s.substr(std::strlen(p));
    const size_t nl = s.find('\n');
    return trimmed(nl == std::string::npos ? s : s.substr(0, nl));
}

// Network byte order.
template <typename T> T big(T v) {
    static_assert(std::endian::native == std::endian::little, "little-endian host assumed");
    if constexpr (sizeof(T) == 2) return T(__builtin_bswap16(uint16_t(v)));
    else if constexpr (sizeof(T) == 4) return T(__builtin_bswap32(uint32_t(v)));
    else return T(__builtin_bswap64(uint64_t(v)));
}

}  // namespace

// ---- results -------------------------------------------------------------------------

PgResult::~PgResult() {
    if (r_) PQclear(r_);
}

PgResult& PgResult::operator=(PgResult&& o) noexcept {
    if (this != &o) {
        if (r_) PQclear(r_);
        r_ = o.r_;
        o.r_ = nullptr;
    }
    return *this;
}

int PgResult::rows() const { return r_ ? PQntuples(r_) : 0; }
bool PgResult::isNull(int row, int col) const { return PQgetisnull(r_, row, col) != 0; }
std::string PgResult::text(int row, int col) const {
    return std::string(PQgetvalue(r_, row, col), size_t(PQgetlength(r_, row, col)));
}
long long PgResult::integer(int row, int col) const { return std::stoll(text(row, col)); }
std::string PgResult::bytes(int row, int col) const {
    size_t n = 0;
    unsigned char* p = PQunescapeBytea(reinterpret_cast<const unsigned char*>(PQgetvalue(r_, row, col)), &n);
    if (!p) throw StoreError("Не хватило памяти для значения из базы");
    std::string out(reinterpret_cast<const char*>(p), n);
    PQfreemem(p);
    return out;
}

// ---- the connection ------------------------------------------------------------------

PgConnection::PgConnection(const std::string& conninfo) {
    // The client's own messages in the database's encoding of text: UTF-8.
    const char* keys[] = {"dbname", "client_encoding", "application_name", nullptr};
    const char* values[] = {conninfo.c_str(), "UTF8", "darvent-map", nullptr};
    c_ = PQconnectdbParams(keys, values, 1);
    if (!c_) throw StoreError("Не хватило памяти для соединения с базой");
    if (PQstatus(c_) == CONNECTION_OK) {
        // The server's notices ("... already exists, skipping") are English
        // chatter for a Russian-speaking operator: not shown.
        PQsetNoticeProcessor(c_, [](void*, const char*) {}, nullptr);
        return;
    }
    const std::string msg = trimmed(PQerrorMessage(c_));
    const std::string where = describe();
    PQfinish(c_);
    c_ = nullptr;
    if (has(msg, "password authentication failed"))
        throw StoreError("Неверный пароль (" + where + ")");
    if (has(msg, "no password supplied") || has(msg, "fe_sendauth"))
        throw StoreError("Сервер просит пароль (" + where + "): укажите его в ~/.pgpass или PGPASSWORD");
    if (has(msg, "does not exist") && has(msg, "database"))
        throw StoreError("Нет такой базы на сервере (" + where + ")");
    if (has(msg, "does not exist") && has(msg, "role"))
        throw StoreError("Нет такого пользователя на сервере (" + where + ")");
    if (has(msg, "invalid connection option") || has(msg, "invalid URI") || has(msg, "missing \"=\"") ||
        has(msg, "invalid integer value"))
        throw StoreError("Строка соединения с базой не разобрана: " + primary(msg));
    throw StoreError("Сервер базы недоступен (" + where + "): " + primary(msg));
}

PgConnection::~PgConnection() {
    if (c_) PQfinish(c_);
}

int PgConnection::socket() const { return c_ ? PQsocket(c_) : -1; }

std::string PgConnection::database() const { return c_ ? PQdb(c_) : std::string(); }
std::string PgConnection::user() const { return c_ ? PQuser(c_) : std::string(); }

std::string PgConnection::describe() const {
    if (!c_) return "база";
    const std::string host = PQhost(c_) ? PQhost(c_) : "", port = PQport(c_) ? PQport(c_) : "";
    std::string s = "база «" + std::string(PQdb(c_) ? PQdb(c_) : "") + "»";
    if (!host.empty()) s += " на " + host + (port.empty() ? "" : ":" + port);
    if (PQuser(c_) && *PQuser(c_)) s += ", пользователь " + std::string(PQuser(c_));
    return s;
}

void PgConnection::throwError(const char* what, pg_result* r) const {
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    const std::string code = state ? state : "";
    const std::string msg = primary(r ? PQresultErrorMessage(r) : PQerrorMessage(c_));
    if (r) PQclear(r);
    if (PQstatus(c_) != CONNECTION_OK) throw StoreError("Связь с базой потеряна: " + msg, code.empty() ? "08006" : code);
    if (code == "42501") throw StoreError(msg.rfind("Нет прав", 0) == 0 ? msg : "Нет прав: " + msg, code);
    throw StoreError(std::string(what) + ": " + msg, code);
}

PgResult PgConnection::exec(std::string_view sql, const std::vector<std::optional<std::string>>& params) {
    const std::string text(sql);
    std::vector<const char*> values;
    std::vector<int> lengths;
    for (const auto& p : params) {
        values.push_back(p ? p->c_str() : nullptr);
        lengths.push_back(p ? int(p->size()) : 0);
    }
    pg_result* r = params.empty() ? PQexec(c_, text.c_str())
                                  : PQexecParams(c_, text.c_str(), int(params.size()), nullptr, values.data(),
                                                 lengths.data(), nullptr, 0);
    const ExecStatusType st = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) throwError("Ошибка базы", r);
    return PgResult(r);
}

// ---- COPY in ---------------------------------------------------------------------------

void PgConnection::CopyIn::beginRow(int fields) {
    if (buf_.size() >= (1 << 20)) flush(false);
    const int16_t v = big(int16_t(fields));
    buf_.append(reinterpret_cast<const char*>(&v), 2);
}

void PgConnection::CopyIn::null() {
    const int32_t v = big(int32_t(-1));
    buf_.append(reinterpret_cast<const char*>(&v), 4);
}

void PgConnection::CopyIn::i16(int16_t x) {
    const int32_t n = big(int32_t(2));
    const int16_t v = big(x);
    buf_.append(reinterpret_cast<const char*>(&n), 4);
    buf_.append(reinterpret_cast<const char*>(&v), 2);
}

void PgConnection::CopyIn::i32(int32_t x) {
    const int32_t n = big(int32_t(4));
    const int32_t v = big(x);
    buf_.append(reinterpret_cast<const char*>(&n), 4);
    buf_.append(reinterpret_cast<const char*>(&v), 4);
}

void PgConnection::CopyIn::i64(int64_t x) {
    const int32_t n = big(int32_t(8));
    const int64_t v = big(x);
    buf_.append(reinterpret_cast<const char*>(&n), 4);
    buf_.append(reinterpret_cast<const char*>(&v), 8);
}

void PgConnection::CopyIn::f64(double x) {
    uint64_t u;
    std::memcpy(&u, &x, 8);
    i64(int64_t(u));
}

void PgConnection::CopyIn::bytes(const void* p, size_t n) {
    const int32_t len = big(int32_t(n));
    buf_.append(reinterpret_cast<const char*>(&len), 4);
    buf_.append(static_cast<const char*>(p), n);
}

void PgConnection::CopyIn::f64Array(const double* v, size_t n) {
    // ndim, has nulls, element type (float8), then the dimension and its
    // lower bound, then each element with its length.
    const size_t body = 20 + 12 * n;
    const int32_t head[] = {big(int32_t(body)), big(int32_t(1)), big(int32_t(0)), big(int32_t(701)),
                            big(int32_t(n)), big(int32_t(1))};
    buf_.append(reinterpret_cast<const char*>(head), sizeof head);
    const size_t at = buf_.size();
    buf_.resize(at + 12 * n);
    char* out = buf_.data() + at;
    const int32_t eight = big(int32_t(8));
    for (size_t i = 0; i < n; ++i) {
        uint64_t u;
        std::memcpy(&u, &v[i], 8);
        u = big(u);
        std::memcpy(out, &eight, 4);
        std::memcpy(out + 4, &u, 8);
        out += 12;
    }
}

void PgConnection::CopyIn::flush(bool all) {
    if (buf_.empty()) return;
    if (PQputCopyData(c_.c_, buf_.data(), int(buf_.size())) != 1)
        throw StoreError("Связь с базой потеряна: " + primary(PQerrorMessage(c_.c_)), "08006");
    buf_.clear();
    (void)all;
}

void PgConnection::copyIn(std::string_view copySql, const std::function<void(CopyIn&)>& fill) {
    const std::string text(copySql);
    pg_result* r = PQexec(c_, text.c_str());
    if (!r || PQresultStatus(r) != PGRES_COPY_IN) throwError("Ошибка базы", r);
    PQclear(r);
    CopyIn in(*this);
    static const char header[] = "PGCOPY\n\377\r\n\0";
    in.buf_.append(header, 11);
    in.buf_.append(8, '\0');  // flags and the header extension's length
    try {
        fill(in);
        const int16_t end = big(int16_t(-1));
        in.buf_.append(reinterpret_cast<const char*>(&end), 2);
        in.flush(true);
    } catch (const std::exception& e) {
        PQputCopyEnd(c_, "прервано");
        while (pg_result* x = PQgetResult(c_)) PQclear(x);
        throw;
    }
    if (PQputCopyEnd(c_, nullptr) != 1) throw StoreError("Связь с базой потеряна: " + primary(PQerrorMessage(c_)), "08006");
    pg_result* done = PQgetResult(c_);
    const bool ok = done && PQresultStatus(done) == PGRES_COMMAND_OK;
    if (!ok) {
        // The rest of the results first, then the refusal.
        while (pg_result* x = PQgetResult(c_)) PQclear(x);
        throwError("Ошибка базы", done);
    }
    PQclear(done);
    while (pg_result* x = PQgetResult(c_)) PQclear(x);
}

// ---- COPY out --------------------------------------------------------------------------

int16_t PgConnection::Row::i16(int i) const {
    int16_t v;
    std::memcpy(&v, at_[size_t(i)], 2);
    return big(v);
}
int32_t PgConnection::Row::i32(int i) const {
    int32_t v;
    std::memcpy(&v, at_[size_t(i)], 4);
    return big(v);
}
int64_t PgConnection::Row::i64(int i) const {
    int64_t v;
    std::memcpy(&v, at_[size_t(i)], 8);
    return big(v);
}
double PgConnection::Row::f64(int i) const {
    const uint64_t u = uint64_t(i64(i));
    double d;
    std::memcpy(&d, &u, 8);
    return d;
}

void PgConnection::Row::f64Array(int i, std::vector<double>& out) const {
    const char* p = at_[size_t(i)];
    const size_t len = len_[size_t(i)];
    auto word = [&](size_t at) {
        int32_t v;
        std::memcpy(&v, p + at, 4);
        return big(v);
    };
    if (!p || len < 12) throw StoreError("Массив из базы повреждён");
    const int32_t ndim = word(0);
    if (ndim == 0) return;
    if (ndim != 1 || len < 20) throw StoreError("Массив из базы не одномерный");
    const int32_t n = word(12);
    if (n < 0 || size_t(n) * 12 > len - 20) throw StoreError("Массив из базы повреждён");
    const size_t from = out.size();
    out.resize(from + size_t(n));
    const char* e = p + 20;
    for (int32_t k = 0; k < n; ++k, e += 12) {
        int32_t l;
        std::memcpy(&l, e, 4);
        if (big(l) != 8) throw StoreError("Массив из базы содержит пустое значение");
        uint64_t u;
        std::memcpy(&u, e + 4, 8);
        u = big(u);
        std::memcpy(&out[from + size_t(k)], &u, 8);
    }
}

void PgConnection::copyOut(std::string_view copySql, const std::function<void(const Row&)>& row) {
    const std::string text(copySql);
    pg_result* r = PQexec(c_, text.c_str());
    if (!r || PQresultStatus(r) != PGRES_COPY_OUT) throwError("Ошибка базы", r);
    PQclear(r);
    Row cur;
    bool headerSeen = false;
    std::exception_ptr failure;
    for (;;) {
        char* buf = nullptr;
        const int n = PQgetCopyData(c_, &buf, 0);
        if (n == -1) break;
        if (n == -2) throw StoreError("Связь с базой потеряна: " + primary(PQerrorMessage(c_)), "08006");
        // Each chunk of a binary COPY from the server is one row (the
        // first also holds the header).
        const char* p = buf;
        const char* end = buf + n;
        if (!headerSeen) {
            p += 19;
            headerSeen = true;
        }
        if (!failure && end - p >= 2) {
            int16_t f;
            std::memcpy(&f, p, 2);
            f = big(f);
            p += 2;
            if (f >= 0) {
                cur.at_.assign(size_t(f), nullptr);
                cur.len_.assign(size_t(f), 0);
                for (int k = 0; k < f && p + 4 <= end; ++k) {
                    int32_t l;
                    std::memcpy(&l, p, 4);
                    l = big(l);
                    p += 4;
                    if (l >= 0) {
                        cur.at_[size_t(k)] = p;
                        cur.len_[size_t(k)] = size_t(l);
                        p += l;
                    }
                }
                try {
                    row(cur);
                } catch (...) {
                    failure = std::current_exception();
                }
            }
        }
        PQfreemem(buf);
    }
    pg_result* done = PQgetResult(c_);
    const bool ok = done && PQresultStatus(done) == PGRES_COMMAND_OK;
    if (!ok) {
        while (pg_result* x = PQgetResult(c_)) PQclear(x);
        throwError("Ошибка базы", done);
    }
    PQclear(done);
    while (pg_result* x = PQgetResult(c_)) PQclear(x);
    if (failure) std::rethrow_exception(failure);
}

// ---- transactions and quoting -----------------------------------------------------------

PgTransaction::~PgTransaction() {
    if (done_) return;
    try {
        c_.exec("rollback");
    } catch (...) {
        // The connection is gone: nothing of the transaction stays.
    }
}

void PgTransaction::commit() {
    c_.exec("commit");
    done_ = true;
}

std::string ConnectionWithoutPassword(const std::string& conninfo) {
    std::string s = conninfo;
    if (s.rfind("postgresql://", 0) == 0 || s.rfind("postgres://", 0) == 0) {
        const size_t scheme = s.find("://") + 3;
        const size_t at = s.find('@', scheme), slash = s.find('/', scheme);
        if (at != std::string::npos && (slash == std::string::npos || at < slash)) {
            const size_t colon = s.find(':', scheme);
            if (colon != std::string::npos && colon < at) s.erase(colon, at - colon);
        }
        // "password=..." among the parameters.
        const size_t q = s.find('?');
        if (q == std::string::npos) return s;
        std::string kept;
        for (size_t from = q + 1; from <= s.size();) {
            const size_t end = std::min(s.find('&', from), s.size());
            const std::string param = s.substr(from, end - from);
            if (!param.empty() && param.rfind("password=", 0) != 0) kept += (kept.empty() ? "" : "&") + param;
            from = end + 1;
        }
        return s.substr(0, q) + (kept.empty() ? "" : "?" + kept);
    }
    // key=value pairs, values perhaps quoted.
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == ' ') ++i;
        const size_t keyStart = i;
        while (i < s.size() && s[i] != '=' && s[i] != ' ') ++i;
        const std::string key = s.substr(keyStart, i - keyStart);
        while (i < s.size() && s[i] == ' ') ++i;
        std::string value;
        if (i < s.size() && s[i] == '=') {
            ++i;
            while (i < s.size() && s[i] == ' ') ++i;
            const size_t valueStart = i;
            if (i < s.size() && s[i] == '\'') {
                for (++i; i < s.size() && s[i] != '\''; ++i)
                    if (s[i] == '\\') ++i;
                ++i;
            } else {
                while (i < s.size() && s[i] != ' ') ++i;
            }
            value = s.substr(valueStart, std::min(i, s.size()) - valueStart);
        }
        if (key.empty()) break;
        if (key == "password") continue;
        out += (out.empty() ? "" : " ") + key + (value.empty() ? "" : "=" + value);
    }
    return out;
}

std::string QuoteIdentifier(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string QuoteLiteral(std::string_view s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

}  // namespace dm
