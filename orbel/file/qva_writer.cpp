// The in-memory archive builder: a tree of directories and files, laid out and keyed by Finish. The
// directory walk over the disk is in qva_writer_disk.cpp.
#include "orbel/file/qva_writer.h"

#include <algorithm>
#include <cstring>

#include "orbel/file/qva_format.h"

namespace orbel {
namespace {

// Splits an inner path into its components; false on an empty component (a leading, doubled or trailing
// separator) or a "." / ".." component.
bool SplitInnerPath(std::string_view path, std::vector<std::string_view>* parts) {
  size_t start = 0;
  size_t i = 0;
  auto take = [&](size_t end) {
    std::string_view part = path.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    parts->push_back(part);
    return true;
  };
  while (i < path.size()) {
    const auto c = static_cast<uint8_t>(path[i]);
    if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
      i += 2;
      continue;
    }
    if (c == '/' || c == '\\') {
      if (!take(i)) return false;
      start = i + 1;
    }
    ++i;
  }
  return take(std::min(i, path.size()));
}

// Names are compared as the reader compares them: by their search names.
std::string SearchNameOf(std::string_view name) {
  QvaNameKey key;
  const std::string text(name);
  MakeQvaNameRecord(text.c_str(), &key, nullptr);
  return std::string(reinterpret_cast<const char*>(key.searchName), size_t{key.length} * 4);
}

size_t Align4(size_t n) { return (n + 3) & ~size_t{3}; }

}  // namespace

QvaWriter::QvaWriter(const QvaWriterOptions& options) : options_(options) {
  nodes_.emplace_back();
  nodes_[0].directory = true;
}

bool QvaWriter::Fail(std::string message) {
  error_ = std::move(message);
  return false;
}

size_t QvaWriter::FindChild(size_t parent, std::string_view name) const {
  const std::string searchName = SearchNameOf(name);
  for (size_t child : nodes_[parent].children)
    if (nodes_[child].searchName == searchName) return child;
  return SIZE_MAX;
}

size_t QvaWriter::FindOrMakeDirectory(std::string_view path, uint64_t creationTime, uint64_t lastWriteTime) {
  std::vector<std::string_view> parts;
  if (!path.empty() && !SplitInnerPath(path, &parts)) {
    Fail("malformed path: " + std::string(path));
    return SIZE_MAX;
  }
  size_t node = 0;
  for (std::string_view part : parts) {
    if (part.size() >= kQvaSearchNameMax - 4) {
      Fail("name too long: " + std::string(part));
      return SIZE_MAX;
    }
    size_t child = FindChild(node, part);
    if (child == SIZE_MAX) {
      Node made;
      made.name = std::string(part);
      made.searchName = SearchNameOf(part);
      made.parent = node;
      made.directory = true;
      made.creationTime = creationTime;
      made.lastWriteTime = lastWriteTime;
      nodes_.push_back(std::move(made));
      child = nodes_.size() - 1;
      nodes_[node].children.push_back(child);
    } else if (!nodes_[child].directory) {
      Fail("a file is in the way: " + std::string(path));
      return SIZE_MAX;
    }
    node = child;
  }
  return node;
}

bool QvaWriter::AddDirectory(std::string_view path, uint64_t creationTime, uint64_t lastWriteTime) {
  const size_t node = FindOrMakeDirectory(path, creationTime, lastWriteTime);
  if (node == SIZE_MAX) return false;
  nodes_[node].creationTime = creationTime;
  nodes_[node].lastWriteTime = lastWriteTime;
  return true;
}

bool QvaWriter::AddFile(std::string_view path, const void* data, size_t size, uint64_t creationTime,
                        uint64_t lastWriteTime) {
  std::vector<std::string_view> parts;
  if (!SplitInnerPath(path, &parts)) return Fail("malformed path: " + std::string(path));
  if (size > UINT32_MAX) return Fail("file too large: " + std::string(path));
  const std::string_view name = parts.back();
  if (name.size() >= kQvaSearchNameMax - 4) return Fail("name too long: " + std::string(name));
  const size_t nameStart = static_cast<size_t>(name.data() - path.data());
  const std::string_view parentPath = nameStart == 0 ? std::string_view() : path.substr(0, nameStart - 1);
  const size_t parent = FindOrMakeDirectory(parentPath, creationTime, lastWriteTime);
  if (parent == SIZE_MAX) return false;
  if (FindChild(parent, name) != SIZE_MAX) return Fail("name taken: " + std::string(path));
  Node file;
  file.name = std::string(name);
  file.searchName = SearchNameOf(name);
  file.parent = parent;
  file.creationTime = creationTime;
  file.lastWriteTime = lastWriteTime;
  const auto* bytes = static_cast<const uint8_t*>(data);
  file.data.assign(bytes, bytes + size);
  nodes_.push_back(std::move(file));
  nodes_[parent].children.push_back(nodes_.size() - 1);
  return true;
}

std::vector<uint8_t> QvaWriter::Finish() {
  const uint16_t version = options_.version;
  const bool compress = options_.compress && version >= kQvaCompressionVersion;
  const uint32_t recordSize = QvaFileRecordSize(version);

  // Directories breadth first; each one's children sorted by name, so the output does not depend on the
  // order files were added.
  std::vector<size_t> directories{0};
  for (size_t i = 0; i < directories.size(); ++i) {
    Node& dir = nodes_[directories[i]];
    std::sort(dir.children.begin(), dir.children.end(),
              [this](size_t a, size_t b) { return nodes_[a].name < nodes_[b].name; });
    for (size_t child : dir.children)
      if (nodes_[child].directory) directories.push_back(child);
  }

  // Name table: one record per node but the root, in table order.
  std::vector<uint8_t> names;
  std::vector<uint32_t> nameOffset(nodes_.size(), 0);
  std::vector<size_t> tableOrder;
  for (size_t d : directories) tableOrder.insert(tableOrder.end(), nodes_[d].children.begin(), nodes_[d].children.end());
  for (size_t n : tableOrder) {
    QvaNameKey key;
    MakeQvaNameRecord(nodes_[n].name.c_str(), &key, nullptr);
    nameOffset[n] = static_cast<uint32_t>(names.size());
    const size_t start = names.size();
    names.resize(start + 4 + size_t{key.length} * 4);
    WriteLe16(names.data() + start, key.length);
    WriteLe16(names.data() + start + 2, key.check);
    std::memcpy(names.data() + start + 4, key.searchName, size_t{key.length} * 4);
    names.insert(names.end(), nodes_[n].name.begin(), nodes_[n].name.end());
    names.push_back(0);
    names.resize(Align4(names.size()));
  }

  // Directory offsets, then each directory's first file record.
  std::vector<uint32_t> directoryOffset(nodes_.size(), 0);
  std::vector<uint32_t> firstRecord(nodes_.size(), 0);
  uint32_t records = 0;
  for (size_t i = 0; i < directories.size(); ++i) {
    directoryOffset[directories[i]] = static_cast<uint32_t>(i * kQvaDirectoryRecordSize);
    firstRecord[directories[i]] = records * recordSize;
    records += static_cast<uint32_t>(nodes_[directories[i]].children.size());
  }

  // File data: stored or coded, in table order.
  std::vector<std::vector<uint8_t>> coded(nodes_.size());
  std::vector<uint32_t> dataOffset(nodes_.size(), 0);
  uint64_t dataSize = 0;
  for (size_t d : directories) {
    for (size_t child : nodes_[d].children) {
      Node& node = nodes_[child];
      if (node.directory) continue;
      if (compress && !node.data.empty()) {
        std::vector<uint8_t> block = EncodeQvaLz(node.data.data(), node.data.size());
        if (block.size() < node.data.size()) coded[child] = std::move(block);
      }
      dataOffset[child] = static_cast<uint32_t>(dataSize);
      dataSize += coded[child].empty() ? node.data.size() : coded[child].size();
      if (dataSize > UINT32_MAX) {
        Fail("archive too large");
        return {};
      }
    }
  }

  const size_t fileTable = Align4(names.size());
  const size_t directoryTable = fileTable + size_t{records} * recordSize;
  const size_t blockSize = directoryTable + directories.size() * kQvaDirectoryRecordSize;
  const size_t dataStart = kQvaHeaderSize + blockSize;
  if (dataStart + dataSize > UINT32_MAX) {
    Fail("archive too large");
    return {};
  }

  std::vector<uint8_t> out(dataStart + dataSize, 0);
  QvaHeader header{version, static_cast<uint32_t>(blockSize), static_cast<uint32_t>(dataStart), kQvaHeaderSize,
                   static_cast<uint32_t>(fileTable), static_cast<uint32_t>(directoryTable)};
  WriteQvaHeader(header, out.data());
  uint8_t* block = out.data() + kQvaHeaderSize;
  std::memcpy(block, names.data(), names.size());

  for (size_t i = 0; i < directories.size(); ++i) {
    const size_t d = directories[i];
    const Node& dir = nodes_[d];
    const uint32_t parent = d == 0 ? kQvaNoParent : directoryOffset[dir.parent];
    QvaDirectoryRecord record{directoryOffset[d], parent, static_cast<uint32_t>(dir.children.size()), firstRecord[d]};
    WriteQvaDirectoryRecord(record, block + directoryTable + directoryOffset[d]);

    uint32_t at = firstRecord[d];
    for (size_t child : dir.children) {
      const Node& node = nodes_[child];
      QvaFileRecord file{};
      file.nameOffset = nameOffset[child];
      file.attributes = node.directory ? kQvaDirectoryAttribute : 0x80;  // 0x80: a normal file
      file.creationTime = node.creationTime;
      file.lastAccessTime = node.lastWriteTime;
      file.lastWriteTime = node.lastWriteTime;
      if (node.directory) {
        file.dataOffset = directoryOffset[child];
        file.compressedSize = kQvaStoredSize;
      } else {
        file.dataOffset = dataOffset[child];
        file.dataSize = static_cast<uint32_t>(node.data.size());
        file.compressedSize = coded[child].empty() ? kQvaStoredSize : static_cast<uint32_t>(coded[child].size());
        const std::vector<uint8_t>& bytes = coded[child].empty() ? node.data : coded[child];
        if (!bytes.empty()) std::memcpy(out.data() + dataStart + dataOffset[child], bytes.data(), bytes.size());
      }
      WriteQvaFileRecord(file, version, block + fileTable + at);
      at += recordSize;
    }
  }

  uint8_t key[kQvaKeySize];
  if (options_.useFallbackKey) {
    MakeQvaFallbackKey(key);
  } else {
    MakeQvaKey(options_.keyText, key);
  }
  QvaKeyConvert(out.size(), out.data(), 0, key);
  return out;
}

}  // namespace orbel
