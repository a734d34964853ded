// A small type-erased key that can be hashed and compared: empty, or holding a
// value (here the largest size an icon may have).
#pragma once

#include <boost/functional/hash.hpp>
#include <glm/vec2.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <typeinfo>

namespace ostrel {

// Boost's 64-bit hash combination (a MurmurHash2 step), written out so that hashes
// do not change with the Boost version.
inline void HashCombine(std::size_t& seed, std::size_t value)
{
    constexpr std::uint64_t m = 0xc6a4a7935bd1e995ULL;
    constexpr int r = 47;
    std::uint64_t k = value;
    k *= m;
    k ^= k >> r;
    k *= m;
    std::uint64_t h = seed;
    h ^= k;
    h *= m;
    h += 0xe6546b64;
    seed = static_cast<std::size_t>(h);
}

template <typename T>
std::size_t HashOf(const T& value)
{
    return boost::hash<T>()(value);
}

inline std::size_t HashOf(const glm::dvec2& value)
{
    std::size_t seed = 0;
    HashCombine(seed, boost::hash<double>()(value.x));
    HashCombine(seed, boost::hash<double>()(value.y));
    return seed;
}

class AnyKey {
public:
    class Concept {
    public:
        virtual std::size_t Hash() const = 0;
        virtual bool Equals(const Concept& other) const = 0;
        virtual Concept* Clone() const = 0;
        virtual ~Concept() = default;
    };

    class EmptyKeyModel : public Concept {
    public:
        std::size_t Hash() const override { return 0; }
        bool Equals(const Concept& other) const override { return typeid(other) == typeid(EmptyKeyModel); }
        Concept* Clone() const override { return new EmptyKeyModel(); }
    };

    template <typename T>
    class Model : public Concept {
    public:
        explicit Model(T v) : value(std::move(v)) {}
        std::size_t Hash() const override
        {
            std::size_t seed = 0;
            HashCombine(seed, typeid(T).hash_code());
            HashCombine(seed, HashOf(value));
            return seed;
        }
        // Plain ==: a not-a-number component never compares equal.
        bool Equals(const Concept& other) const override
        {
            return typeid(other) == typeid(Model<T>) && static_cast<const Model<T>&>(other).value == value;
        }
        Concept* Clone() const override { return new Model<T>(value); }

        T value;
    };

    AnyKey() : concept_(new EmptyKeyModel()) {}
    template <typename T>
        requires(!std::is_same_v<std::decay_t<T>, AnyKey>)
    explicit AnyKey(const T& value) : concept_(new Model<std::decay_t<T>>(value))
    {
    }
    AnyKey(const AnyKey& other) : concept_(other.concept_->Clone()) {}
    AnyKey& operator=(const AnyKey& other)
    {
        if (this != &other)
            concept_.reset(other.concept_->Clone());
        return *this;
    }
    ~AnyKey() = default;

    std::size_t Hash() const { return concept_->Hash(); }
    bool Equals(const AnyKey& other) const { return concept_->Equals(*other.concept_); }
    const Concept& GetConcept() const { return *concept_; }

private:
    std::unique_ptr<Concept> concept_;
};

}  // namespace ostrel
