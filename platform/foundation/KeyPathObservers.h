#pragma once
// The observers of an object's key paths, by token. Not thread-safe: the
// owner guards it as it guards the values observed.
//
// Telling observers is left to the owner, who takes the tokens first and
// looks each observer up again before calling it, so an observer may add or
// remove observers (itself too) while it is told, and one removed before its
// turn is not told.

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace platform {

template <class Observer>
class KeyPathObservers {
public:
    using Token = unsigned long;

    Token add(std::string keyPath, Observer observer) {
        const Token token = nextToken_++;
        observations_.push_back({token, std::move(keyPath), std::move(observer)});
        return token;
    }
    void remove(Token token) {
        std::erase_if(observations_, [token](const Observation& o) { return o.token == token; });
    }
    bool empty() const { return observations_.empty(); }

    // The tokens of the observers whose key path `wanted` accepts, in the order they came.
    template <class Predicate>
    std::vector<Token> tokensWhere(Predicate wanted) const {
        std::vector<Token> tokens;
        for (const Observation& o : observations_)
            if (wanted(o.keyPath)) tokens.push_back(o.token);
        return tokens;
    }
    // The key path and observer under `token`; false once it is removed.
    bool find(Token token, std::string& keyPath, Observer& observer) const {
        auto it = std::find_if(observations_.begin(), observations_.end(),
                               [token](const Observation& o) { return o.token == token; });
        if (it == observations_.end()) return false;
        keyPath = it->keyPath;
        observer = it->observer;
        return true;
    }

private:
    struct Observation {
        Token token;
        std::string keyPath;
        Observer observer;
    };
    std::vector<Observation> observations_;
    Token nextToken_ = 1;
};

}  // namespace platform
