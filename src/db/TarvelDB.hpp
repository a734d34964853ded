// The product database of one CAD-data file and the registry through which its
// import resolves references by id.
#pragma once

#include "db/Entities.hpp"
#include "db/EntityArena.hpp"

#include <memory>
#include <string>
#include <string_view>
#include <cstddef>
#include <utility>
#include <vector>

namespace tarvel {

// The hash of an id over its UTF-16 units; an ASCII text hashes as its wide form.
std::size_t IdHash(const std::wstring& id);
std::size_t IdHash(std::string_view asciiId);

// An open-addressing table of (hash, position) pairs: several positions may share
// a hash; the caller compares the ids. Kept flat, so that a file with many
// elements costs no allocation per entry.
class IdSlots {
public:
    static constexpr std::size_t kEmpty = static_cast<std::size_t>(-1);

    void Reserve(std::size_t count);
    // Calls same(position) for each position stored under the hash until it answers true.
    template <typename Same>
    std::size_t Find(std::size_t hash, Same&& same) const
    {
        if (slots_.empty())
            return kEmpty;
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot& slot = slots_[i];
            if (slot.position == kEmpty)
                return kEmpty;
            if (slot.hash == hash && same(slot.position))
                return slot.position;
        }
    }
    void Insert(std::size_t hash, std::size_t position);

private:
    struct Slot {
        std::size_t hash = 0;
        std::size_t position = kEmpty;
    };
    void Grow(std::size_t slotCount);

    std::vector<Slot> slots_;
    std::size_t used_ = 0;
};

// Entities by id; storing under a known id replaces the entity. The ids are kept
// one after another in one buffer, so that storing one costs no allocation of its own.
template <typename T>
class IdTable {
public:
    void Reserve(std::size_t count)
    {
        entries_.reserve(count);
        slots_.Reserve(count);
    }
    void Store(const std::wstring& id, const std::shared_ptr<T>& entity)
    {
        const std::size_t hash = IdHash(id);
        const std::size_t found = slots_.Find(hash, [&](std::size_t position) { return IdAt(position) == id; });
        if (found != IdSlots::kEmpty) {
            entries_[found].entity = entity;
            return;
        }
        slots_.Insert(hash, entries_.size());
        entries_.push_back(Entry{units_.size(), id.size(), entity});
        units_.insert(units_.end(), id.begin(), id.end());
    }
    std::shared_ptr<T> Find(const std::wstring& id) const
    {
        const std::size_t found =
            slots_.Find(IdHash(id), [&](std::size_t position) { return IdAt(position) == id; });
        return found != IdSlots::kEmpty ? entries_[found].entity : std::shared_ptr<T>();
    }
    std::shared_ptr<T> Find(std::string_view asciiId) const
    {
        const std::size_t found = slots_.Find(IdHash(asciiId), [&](std::size_t position) {
            const std::wstring_view id = IdAt(position);
            if (id.size() != asciiId.size())
                return false;
            for (std::size_t i = 0; i < id.size(); ++i)
                if (id[i] != static_cast<wchar_t>(static_cast<unsigned char>(asciiId[i])))
                    return false;
            return true;
        });
        return found != IdSlots::kEmpty ? entries_[found].entity : std::shared_ptr<T>();
    }

private:
    struct Entry {
        std::size_t offset;  // of the id in units_
        std::size_t length;
        std::shared_ptr<T> entity;
    };
    std::wstring_view IdAt(std::size_t position) const
    {
        return std::wstring_view(units_.data() + entries_[position].offset, entries_[position].length);
    }

    std::vector<Entry> entries_;
    std::vector<wchar_t> units_;
    IdSlots slots_;
};

class TarvelDB {
public:
    TarvelDB() = default;
    virtual ~TarvelDB() = default;
    TarvelDB(TarvelDB&&) = default;
    TarvelDB& operator=(TarvelDB&&) = default;
    TarvelDB(const TarvelDB&) = default;
    TarvelDB& operator=(const TarvelDB&) = default;

    // Loads one CAD-data file. Throws ostrel::FileNotFoundException when it does not
    // open and ostrel::OstrelException without a "geom" document element (or without
    // the memory to read the file), and nothing else. Every other failure (a file that is not well-formed XML, a reader's error,
    // a value that is no UTF-8, memory) is reported to the Session Report with the
    // database alert and leaves `valid` false; only a valid database was read whole.
    static TarvelDB LoadFromFile(const std::string& utf8Path);

    // Each list keeps the first entity of an id; a later one with an equal id is not listed.
    void AddConfigParam(const std::shared_ptr<ConfigParam>& entity);
    void AddMaterial(const std::shared_ptr<Material>& entity);
    void AddLineStyle(const std::shared_ptr<LineStyle>& entity);
    void AddSketch(const std::shared_ptr<Sketch>& entity);
    // Only parts with at least one solid are listed.
    void AddPart(const std::shared_ptr<Part>& entity);
    void AddAssembly(const std::shared_ptr<Assembly>& entity);
    void SetAuthor(std::wstring text) { author = std::move(text); }
    void SetUnit(std::wstring text) { unit = std::move(text); }

    std::vector<std::shared_ptr<ConfigParam>> configParams;
    std::vector<std::shared_ptr<Material>> materials;
    std::vector<std::shared_ptr<LineStyle>> lineStyles;
    std::vector<std::shared_ptr<Sketch>> sketches;
    std::vector<std::shared_ptr<Part>> parts;
    std::vector<std::shared_ptr<Assembly>> assemblies;
    std::wstring author;
    std::wstring unit;
    // The import's warnings of what the file asks that the database does not hold as
    // written (a reference that names nothing, a number that is not plain); missing
    // optional values are not among them.
    std::size_t lossWarnings = 0;
    bool valid = false;

private:
    // The positions of each list by the hash of their ids, so that a large file is
    // not searched linearly; the ids themselves are compared in the list.
    struct Listed {
        IdSlots configParams, materials, lineStyles, sketches, parts, assemblies;
    };
    Listed listed_;
};

// The state of one import: entities registered under (id, kind).
class ImportContext {
public:
    void Register(const std::shared_ptr<Material>& entity, const std::wstring& id);
    void Register(const std::shared_ptr<LineStyle>& entity, const std::wstring& id);
    void Register(const std::shared_ptr<Sketch>& entity, const std::wstring& id);
    void Register(const std::shared_ptr<Element>& entity, const std::wstring& id);

    // Room for about that many elements, so that a large file does not rehash repeatedly.
    void ReserveElements(std::size_t count) { elements_.Reserve(count); }

    // A new entity of the import, placed in the import's arena.
    template <typename T>
    std::shared_ptr<T> New()
    {
        return std::allocate_shared<T>(arena_);
    }

    std::shared_ptr<Material> FindMaterial(const std::wstring& id) const;
    std::shared_ptr<LineStyle> FindLineStyle(const std::wstring& id) const;
    std::shared_ptr<Sketch> FindSketch(const std::wstring& id) const;
    std::shared_ptr<Element> FindElement(const std::wstring& id) const;
    // The same for an id given as ASCII text, without a wide copy.
    std::shared_ptr<Material> FindMaterialAscii(std::string_view id) const { return materials_.Find(id); }
    std::shared_ptr<LineStyle> FindLineStyleAscii(std::string_view id) const { return lineStyles_.Find(id); }
    std::shared_ptr<Sketch> FindSketchAscii(std::string_view id) const { return sketches_.Find(id); }
    std::shared_ptr<Element> FindElementAscii(std::string_view id) const { return elements_.Find(id); }

private:
    // One table per kind: the kind is the table, the id the key.
    IdTable<Material> materials_;
    IdTable<LineStyle> lineStyles_;
    IdTable<Sketch> sketches_;
    IdTable<Element> elements_;
    ArenaAllocator<std::byte> arena_{std::make_shared<EntityArena>()};
};

}  // namespace tarvel
