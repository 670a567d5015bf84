// The class files of a suite: versions, stack maps, the keys read through
// getAppProperty, the packages referenced, and each class's superclass.
#include <algorithm>

#include "midlet/classfile/Bytecode.h"
#include "midlet/classfile/ClassFile.h"
#include "midlet/suite/SuiteParts.h"

namespace midlet {

namespace {

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

void AddUnique(std::vector<std::string>& list, const std::string& item) {
    if (std::find(list.begin(), list.end(), item) == list.end()) {
        list.push_back(item);
    }
}

// The classes a descriptor or an array class name mentions: every
// "Lname;" in it.
void AddDescriptorTypes(const std::string& descriptor, std::set<std::string>& packages) {
    for (std::size_t start = descriptor.find('L'); start != std::string::npos;) {
        const std::size_t end = descriptor.find(';', start);
        if (end == std::string::npos) {
            return;
        }
        const std::string package = PackageOf(descriptor.substr(start + 1, end - start - 1));
        if (!package.empty()) {
            packages.insert(package);
        }
        start = descriptor.find('L', end);
    }
}

void AddReferences(const ClassFile& file, std::set<std::string>& packages) {
    for (std::size_t i = 1; i < file.pool.size(); ++i) {
        const Constant& c = file.pool[i];
        if (c.tag == ConstantTag::Class) {
            const std::string* name = file.Utf8At(c.first);
            if (name == nullptr) {
                continue;
            }
            if (!name->empty() && name->front() == '[') {
                AddDescriptorTypes(*name, packages);
            } else if (!PackageOf(*name).empty()) {
                packages.insert(PackageOf(*name));
            }
        } else if (c.tag == ConstantTag::NameAndType) {
            if (const std::string* descriptor = file.Utf8At(c.second)) {
                AddDescriptorTypes(*descriptor, packages);
            }
        }
    }
    for (const auto* members : {&file.fields, &file.methods}) {
        for (const Member& member : *members) {
            AddDescriptorTypes(member.descriptor, packages);
        }
    }
}

// True when every method whose code branches carries its stack maps.
bool CarriesStackMaps(const ClassFile& file) {
    for (const Member& method : file.methods) {
        if (!method.code) {
            continue;
        }
        const StackMapState state = StackMapStateOf(file, *method.code);
        if (state != StackMapState::NotNeeded && state != StackMapState::Present) {
            return false;
        }
    }
    return true;
}

void ScanOne(const std::string& entry, const ClassFile& file, SuiteFacts& facts, ClassScan& scan) {
    ++facts.classCount;
    if (file.major > facts.highestMajor ||
        (file.major == facts.highestMajor && file.minor > facts.highestMinor)) {
        facts.highestMajor = file.major;
        facts.highestMinor = file.minor;
    }
    if (file.major > kNewestPhoneClassMajor) {
        facts.classesTooNew.push_back(entry);
    }
    if (!CarriesStackMaps(file)) {
        facts.classesWithoutMaps.push_back(entry);
    }
    for (const Member& method : file.methods) {
        if (method.code) {
            for (const std::string& key : AppPropertyKeys(file, *method.code)) {
                AddUnique(facts.readKeys, key);
            }
        }
    }
    scan.superOf[file.thisClass] = file.superClass;
    scan.ownPackages.insert(PackageOf(file.thisClass));
    AddReferences(file, scan.referencedPackages);
}

}  // namespace

std::string PackageOf(const std::string& className) {
    const std::size_t slash = className.rfind('/');
    return slash == std::string::npos ? std::string() : className.substr(0, slash);
}

void ScanClasses(JarEntries& entries, const SuiteTables& tables, SuiteFacts& facts,
                 ClassScan& scan) {
    std::string bytes;
    for (std::size_t i = 0; i < entries.Names().size(); ++i) {
        const std::string& entry = entries.Names()[i];
        if (!EndsWith(entry, ".class")) {
            continue;
        }
        if (!entries.Read(i, kMaxClassBytes, bytes)) {
            facts.unreadableClasses.push_back(entry + ": the entry cannot be read");
            continue;
        }
        ClassFile file;
        std::string problem;
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        if (!ReadClassFile({data, bytes.size()}, file, problem)) {
            facts.unreadableClasses.push_back(entry + ": " + problem);
            continue;
        }
        ScanOne(entry, file, facts, scan);
    }
    for (const std::string& package : scan.referencedPackages) {
        const ApiEntry* api = tables.ApiOf(package);
        if (api != nullptr && !api->platform.empty() && scan.ownPackages.count(package) == 0) {
            scan.platforms.insert(api->platform);
        }
    }
}

void MapApis(const ClassScan& scan, const SuiteTables& tables, SuiteFacts& facts) {
    std::set<const ApiEntry*> used;
    for (const std::string& package : scan.referencedPackages) {
        if (scan.ownPackages.count(package) != 0) {
            continue;
        }
        const ApiEntry* api = tables.ApiOf(package);
        if (api != nullptr) {
            used.insert(api);
        } else {
            facts.otherPackages.push_back(package);
        }
    }
    for (const ApiEntry& entry : tables.apis) {
        if (used.count(&entry) != 0) {
            AddUnique(facts.apis, entry.api);
        }
    }
}

}  // namespace midlet
