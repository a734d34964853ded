// The product database of one CAD-data file and the registry through which its
// import resolves references by id.
#pragma once

#include "db/Entities.hpp"

#include <memory>
#include <string>
#include <unordered_map>
#include <cstddef>
#include <vector>

namespace tarvel {

class TarvelDB {
public:
    TarvelDB() = default;
    virtual ~TarvelDB() = default;
    TarvelDB(TarvelDB&&) = default;
    TarvelDB& operator=(TarvelDB&&) = default;
    TarvelDB(const TarvelDB&) = default;
    TarvelDB& operator=(const TarvelDB&) = default;

    // Loads one CAD-data file. Throws ostrel::FileNotFoundException when it does not
    // open and ostrel::OstrelException without a "geom" document element; errors
    // inside the sections are reported to the Session Report, not thrown.
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
    bool valid = false;

private:
    // The positions of each list by the hash of their ids, so that a large file is
    // not searched linearly; the ids themselves are compared in the list.
    using IdIndex = std::unordered_multimap<std::size_t, std::size_t>;
    struct Listed {
        IdIndex configParams, materials, lineStyles, sketches, parts, assemblies;
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

    std::shared_ptr<Material> FindMaterial(const std::wstring& id) const;
    std::shared_ptr<LineStyle> FindLineStyle(const std::wstring& id) const;
    std::shared_ptr<Sketch> FindSketch(const std::wstring& id) const;
    std::shared_ptr<Element> FindElement(const std::wstring& id) const;

private:
    // One table per kind: the kind is the table, the id the key.
    std::unordered_map<std::wstring, std::shared_ptr<Material>> materials_;
    std::unordered_map<std::wstring, std::shared_ptr<LineStyle>> lineStyles_;
    std::unordered_map<std::wstring, std::shared_ptr<Sketch>> sketches_;
    std::unordered_map<std::wstring, std::shared_ptr<Element>> elements_;
};

}  // namespace tarvel
