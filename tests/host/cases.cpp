#include "cases.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>

namespace arvel_test {

std::vector<double> uniformSamples(std::size_t m, std::size_t n,
                                   unsigned seed)
{
    std::vector<double> v(m * n);
    unsigned long long state = seed;
    for (double& x : v) {
        state = (69069ULL * state + 1ULL) % 4294967296ULL;
        x = static_cast<double>(state) / 4294967296.0;
    }
    return v;
}

namespace {

// A count beyond this host's size_t: such an array cannot exist here.
struct BeyondSizeT {};

std::string trim(const std::string& s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

// Recursive descent over one argument expression.
class Parser {
public:
    explicit Parser(const std::string& text) : s_(text) {}

    std::vector<Argument> list()
    {
        std::vector<Argument> out;
        skip();
        if (pos_ == s_.size()) return out;
        for (;;) {
            out.push_back(expression());
            skip();
            if (pos_ == s_.size()) return out;
            expect(',');
        }
    }

private:
    const std::string& s_;
    std::size_t pos_ = 0;

    [[noreturn]] void fail(const std::string& what)
    {
        throw std::runtime_error(what + " at column " +
                                 std::to_string(pos_ + 1));
    }
    void skip()
    {
        while (pos_ < s_.size() &&
               std::isspace(static_cast<unsigned char>(s_[pos_])))
            ++pos_;
    }
    bool peek(char c)
    {
        skip();
        return pos_ < s_.size() && s_[pos_] == c;
    }
    void expect(char c)
    {
        if (!peek(c)) fail(std::string("expected '") + c + "'");
        ++pos_;
    }

    double number()
    {
        skip();
        bool negative = false;
        if (peek('-')) {
            negative = true;
            ++pos_;
            skip();
        }
        double v;
        if (s_.compare(pos_, 3, "NaN") == 0) {
            v = std::nan("");
            pos_ += 3;
        } else if (s_.compare(pos_, 3, "Inf") == 0) {
            v = HUGE_VAL;
            pos_ += 3;
        } else {
            const char* begin = s_.c_str() + pos_;
            char* end = nullptr;
            v = std::strtod(begin, &end);
            if (end == begin) fail("expected a number");
            pos_ += static_cast<std::size_t>(end - begin);
        }
        return negative ? -v : v;
    }

    std::size_t count()
    {
        const double v = number();
        if (!(v >= 0) || v != std::floor(v)) fail("expected a count");
        if (v >= std::ldexp(1.0, std::numeric_limits<std::size_t>::digits))
            throw BeyondSizeT();
        return static_cast<std::size_t>(v);
    }

    Argument expression()
    {
        skip();
        if (pos_ == s_.size()) fail("expected an argument");
        const char c = s_[pos_];
        if (c == '[') return literal();
        if (c == '\'') return text();
        if (std::isalpha(static_cast<unsigned char>(c)) &&
            s_.compare(pos_, 3, "NaN") != 0 && s_.compare(pos_, 3, "Inf") != 0)
            return call();
        Argument a;
        a.m = a.n = 1;
        a.values = {number()};
        return a;
    }

    Argument literal()
    {
        expect('[');
        std::vector<std::vector<double>> rows(1);
        while (!peek(']')) {
            if (peek(';')) {
                ++pos_;
                rows.emplace_back();
            } else if (peek(',')) {
                ++pos_;
            } else {
                rows.back().push_back(number());
            }
        }
        ++pos_;
        Argument a;
        if (rows.size() == 1 && rows[0].empty()) return a;  // [] is 0 x 0
        a.m = rows.size();
        a.n = rows[0].size();
        a.values.resize(a.m * a.n);
        for (std::size_t i = 0; i < a.m; ++i) {
            if (rows[i].size() != a.n) fail("ragged matrix");
            for (std::size_t j = 0; j < a.n; ++j)
                a.values[i + j * a.m] = rows[i][j];
        }
        return a;
    }

    Argument text()
    {
        expect('\'');
        const std::size_t end = s_.find('\'', pos_);
        if (end == std::string::npos) fail("unterminated text");
        Argument a;
        a.classId = mxCHAR_CLASS;
        a.m = 1;
        a.n = end - pos_;
        a.values.assign(a.n, 0.0);
        for (std::size_t j = 0; j < a.n; ++j)
            a.values[j] = static_cast<unsigned char>(s_[pos_ + j]);
        pos_ = end + 1;
        return a;
    }

    Argument call()
    {
        const std::size_t begin = pos_;
        while (pos_ < s_.size() &&
               (std::isalnum(static_cast<unsigned char>(s_[pos_])) ||
                s_[pos_] == '_'))
            ++pos_;
        const std::string f = s_.substr(begin, pos_ - begin);
        expect('(');
        Argument a;
        if (f == "U" || f == "zeros" || f == "Huge") {
            a.m = count();
            expect(',');
            a.n = count();
            if (f == "U") {
                expect(',');
                a.values = uniformSamples(a.m, a.n,
                                          static_cast<unsigned>(count()));
            } else if (f == "zeros") {
                a.values.assign(a.m * a.n, 0.0);
            } else {
                a.claimsOnly = true;
            }
        } else if (f == "single" || f == "int32" || f == "logical" ||
                   f == "sparse" || f == "complex") {
            a = expression();
            if (f == "single") a.classId = mxSINGLE_CLASS;
            if (f == "int32") a.classId = mxINT32_CLASS;
            if (f == "logical") a.classId = mxLOGICAL_CLASS;
            if (f == "sparse") a.sparse = true;
            if (f == "complex") {
                a.complex = true;
                if (peek(',')) {
                    ++pos_;
                    expression();  // the imaginary part: not read
                }
            }
        } else {
            fail("unknown function " + f);
        }
        expect(')');
        return a;
    }
};

std::vector<std::string> splitFields(const std::string& line)
{
    std::vector<std::string> fields;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, '|')) fields.push_back(trim(field));
    return fields;
}

}  // namespace

bool readCases(const std::string& path, std::vector<Case>& cases,
               std::string& problem)
{
    std::ifstream in(path);
    if (!in) {
        problem = "cannot read " + path;
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (trim(line).empty() || trim(line)[0] == '#') continue;
        const std::vector<std::string> f = splitFields(line);
        try {
            if (f.size() != 5) throw std::runtime_error("needs 5 fields");
            Case c;
            c.line = number;
            c.name = f[0];
            c.invoked = f[1];
            if (c.invoked.compare(0, 5, "host:") == 0) {
                c.hostOnly = true;
                c.invoked = trim(c.invoked.substr(5));
            }
            c.argumentText = f[2];
            try {
                c.arguments = Parser(f[2]).list();
            } catch (const BeyondSizeT&) {
                c.skipped = "an array dimension beyond this host's size_t";
            }
            c.outputs = std::stoi(f[3]);
            const std::string& o = f[4];
            if (o == "notfound") {
                c.outcome = Outcome::notFound;
            } else if (o.compare(0, 6, "value ") == 0) {
                c.outcome = Outcome::value;
                c.k = std::stoi(o.substr(6));
            } else if (o.compare(0, 6, "error ") == 0) {
                c.outcome = Outcome::error;
                c.message = o.substr(6) + "\n";
            } else {
                throw std::runtime_error("unknown outcome " + o);
            }
            cases.push_back(c);
        } catch (const std::exception& e) {
            problem = path + ":" + std::to_string(number) + ": " + e.what();
            return false;
        }
    }
    return true;
}

}  // namespace arvel_test
