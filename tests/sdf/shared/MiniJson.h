#pragma once
// A small JSON reader for comparing tool outputs in tests: objects keep their keys in
// order, strings come back as UTF-8, numbers as double.

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/UString.h"

namespace qvx::Test {

struct Json {
    enum Kind { e_null, e_bool, e_number, e_string, e_array, e_object } kind = e_null;
    bool b = false;
    double num = 0;
    std::string str;
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json* Get(const std::string& key) const
    {
        auto it = members.find(key);
        return it == members.end() ? nullptr : &it->second;
    }

    static Json Parse(std::string_view text)
    {
        std::size_t pos = 0;
        Json v = ParseValue(text, pos, 0);
        return v;
    }

private:
    static void Skip(std::string_view t, std::size_t& p)
    {
        while (p < t.size() && (t[p] == ' ' || t[p] == '\n' || t[p] == '\r' || t[p] == '\t')) ++p;
    }

    static std::string ParseString(std::string_view t, std::size_t& p)
    {
        std::string out;
        ++p;  // opening quote
        while (p < t.size() && t[p] != '"') {
            char c = t[p++];
            if (c != '\\') {
                out += c;
                continue;
            }
            if (p >= t.size()) break;
            char e = t[p++];
            switch (e) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                char32_t cp = static_cast<char32_t>(std::stoul(std::string(t.substr(p, 4)), nullptr, 16));
                p += 4;
                if (cp >= 0xD800 && cp <= 0xDBFF && t.substr(p, 2) == "\\u") {
                    char32_t lo = static_cast<char32_t>(std::stoul(std::string(t.substr(p + 2, 4)), nullptr, 16));
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                    p += 6;
                }
                Common::AppendUTF8(out, cp);
                break;
            }
            default: out += e; break;
            }
        }
        ++p;  // closing quote
        return out;
    }

    static Json ParseValue(std::string_view t, std::size_t& p, int depth)
    {
        if (depth > 2000) throw std::runtime_error("JSON too deep");
        Skip(t, p);
        Json v;
        if (p >= t.size()) throw std::runtime_error("JSON ends early");
        char c = t[p];
        if (c == '{') {
            v.kind = e_object;
            ++p;
            for (Skip(t, p); p < t.size() && t[p] != '}';) {
                std::string key = ParseString(t, p);
                Skip(t, p);
                ++p;  // colon
                v.members[key] = ParseValue(t, p, depth + 1);
                Skip(t, p);
                if (p < t.size() && t[p] == ',') ++p;
                Skip(t, p);
            }
            ++p;
        } else if (c == '[') {
            v.kind = e_array;
            ++p;
            for (Skip(t, p); p < t.size() && t[p] != ']';) {
                v.items.push_back(ParseValue(t, p, depth + 1));
                Skip(t, p);
                if (p < t.size() && t[p] == ',') ++p;
                Skip(t, p);
            }
            ++p;
        } else if (c == '"') {
            v.kind = e_string;
            v.str = ParseString(t, p);
        } else if (t.substr(p, 4) == "true" || t.substr(p, 5) == "false") {
            v.kind = e_bool;
            v.b = t[p] == 't';
            p += v.b ? 4 : 5;
        } else if (t.substr(p, 4) == "null") {
            p += 4;
        } else {
            v.kind = e_number;
            std::size_t used = 0;
            v.num = std::stod(std::string(t.substr(p, 64)), &used);
            p += used;
        }
        return v;
    }
};

}  // namespace qvx::Test
