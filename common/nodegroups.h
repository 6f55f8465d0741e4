#pragma once
// The children of a DataNode back end: owned nodes grouped by name, groups in code-unit order of
// the names, each group in index order.

#include <map>
#include <memory>
#include <string>
#include <vector>

class DataNode;

template <class Node>
class NodeGroups {
 public:
  Node* Append(const std::wstring& name, std::unique_ptr<Node> node) {
    auto& group = groups_[name];
    group.push_back(std::move(node));
    return group.back().get();
  }

  Node* First(const std::wstring& name) const {
    const auto group = groups_.find(name);
    return group == groups_.end() || group->second.empty() ? nullptr : group->second.front().get();
  }

  void Get(const std::wstring& name, std::vector<DataNode*>& nodes) const {
    nodes.clear();
    const auto group = groups_.find(name);
    if (group == groups_.end()) return;
    for (const auto& node : group->second) nodes.push_back(node.get());
  }

  void GetAll(std::vector<DataNode*>& nodes) const {
    nodes.clear();
    for (const auto& group : groups_) {
      for (const auto& node : group.second) nodes.push_back(node.get());
    }
  }

  // The node's position in its group; 0 when it is not there.
  int IndexOf(const std::wstring& name, const Node* node) const {
    const auto group = groups_.find(name);
    if (group == groups_.end()) return 0;
    for (size_t i = 0; i < group->second.size(); ++i) {
      if (group->second[i].get() == node) return static_cast<int>(i);
    }
    return 0;
  }

  void Clear() { groups_.clear(); }

 private:
  std::map<std::wstring, std::vector<std::unique_ptr<Node>>> groups_;
};
