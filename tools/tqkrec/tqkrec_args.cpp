#include "tqkrec_args.h"

#include <cerrno>
#include <cstdlib>

namespace tqk {

const char kTqkrecUsage[] =
    "usage: tqkrec OUT.TQK --rect X,Y,W,H [--fps N] [--sec S] [--method 0|1|2] [--async]\n"
    "              [--cursor] [--sleep COUNT,MS] [--overlay]\n";

namespace {

bool ParseInt(const std::string& s, int32_t* v) {
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long n = std::strtol(s.c_str(), &end, 10);
    if (errno || *end != '\0' || n < INT32_MIN || n > INT32_MAX) return false;
    *v = int32_t(n);
    return true;
}

bool ParseList(const std::string& s, std::vector<int32_t>* out, size_t count) {
    out->clear();
    size_t at = 0;
    while (true) {
        const size_t comma = s.find(',', at);
        int32_t v;
        if (!ParseInt(s.substr(at, comma == std::string::npos ? std::string::npos : comma - at),
                      &v))
            return false;
        out->push_back(v);
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return out->size() == count;
}

}  // namespace

std::string ParseTqkrecArgs(const std::vector<std::string>& args, TqkrecArgs* a) {
    bool haveRect = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& s = args[i];
        auto value = [&](std::string* v) {
            if (i + 1 >= args.size()) return false;
            *v = args[++i];
            return true;
        };
        std::string v;
        std::vector<int32_t> list;
        if (s == "--rect") {
            if (!value(&v) || !ParseList(v, &list, 4)) return "--rect needs X,Y,W,H";
            a->x = list[0], a->y = list[1], a->W = list[2], a->H = list[3];
            haveRect = true;
        } else if (s == "--fps") {
            if (!value(&v) || !ParseInt(v, &a->fps) || a->fps < 1 || a->fps > 100)
                return "--fps needs 1 to 100";
        } else if (s == "--sec") {
            if (!value(&v) || !ParseInt(v, &a->sec) || a->sec < 0 || a->sec > 3600)
                return "--sec needs 0 to 3600";
        } else if (s == "--method") {
            if (!value(&v) || !ParseInt(v, &a->method) || a->method < 0 || a->method > 2)
                return "--method needs 0, 1 or 2";
        } else if (s == "--async") {
            a->mapped = true;
        } else if (s == "--cursor") {
            a->cursor = true;
        } else if (s == "--overlay") {
            a->overlay = true;
        } else if (s == "--sleep") {
            if (!value(&v) || !ParseList(v, &list, 2) || list[0] < 0 || list[1] < 0)
                return "--sleep needs COUNT,MS";
            a->sleepCo = list[0], a->sleepTime = list[1];
        } else if (!s.empty() && s[0] == '-') {
            return "unknown option " + s;
        } else if (a->out.empty()) {
            a->out = s;
        } else {
            return "more than one output file";
        }
    }
    if (a->out.empty()) return "no output file";
    if (!haveRect) return "no --rect";
    return "";
}

}  // namespace tqk
