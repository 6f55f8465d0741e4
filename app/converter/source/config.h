#pragma once
// What the converter remembers: one conversion project (ProjectConfig) and the program settings
// (Config). Each saves and loads itself through one traversal of a settings tree; on loading, a
// key the store lacks leaves its member as it was.

#include <string>
#include <utility>
#include <vector>

#include "common/datanode.h"

// Values of `VideoConfig::format`.
constexpr int kFormatLossless = 0;
constexpr int kFormatVp6 = 1;

// The range of `VideoConfig::quality`, low to high.
constexpr int kQualityMin = 0;
constexpr int kQualityMax = 10;

// Values of `AudioConfig::audio_type`.
constexpr int kAudioNone = 0;
constexpr int kAudioFromMovie = 1;
constexpr int kAudioFromFile = 2;

class VideoConfig : public Nodable {
 public:
  bool Serialize(DataNode& node) override;
  bool operator==(const VideoConfig& other) const;

  std::wstring video_file;
  int format = kFormatVp6;
  int bitrate = 700;  // VP6 data rate in kbps; 0 is automatic
  int key_frame_interval = 10;
  int quality = 8;  // used with the automatic rate
};

class AudioConfig : public Nodable {
 public:
  bool Serialize(DataNode& node) override;

  int audio_type = kAudioFromMovie;
  std::wstring audio_file;
};

class PublishConfig : public Nodable {
 public:
  bool Serialize(DataNode& node) override;
  bool operator==(const PublishConfig& other) const;

  std::wstring save_dir;
  std::wstring save_name;
  bool add_control = true;
  bool create_html = true;
};

// Where a project's output goes: the movie is save_dir, a backslash and save_name (which by then
// ends in ".swf"); its web page lies beside it, named after the movie.
struct OutputPaths {
  std::wstring movie;
  std::wstring page;
};
OutputPaths GetOutputPaths(const PublishConfig& publish);

// The movie's name with everything from its last "." replaced by ".htm".
std::wstring HtmlPageName(const std::wstring& movieName);

class ProjectConfig : public Nodable {
 public:
  bool Serialize(DataNode& node) override;
  void Assign(const ProjectConfig& other);
  // Every value equal; strings compare exactly, case included.
  bool operator==(const ProjectConfig& other) const;

  VideoConfig video_config;
  AudioConfig audio_config;
  PublishConfig publish_config;
};

// A list exchanged as repeated children of one item name.
template <class T>
class NodableVector : public Nodable {
 public:
  NodableVector(const std::wstring& itemName, std::vector<T>* items) : itemName_(itemName), items_(items) {}

  bool Serialize(DataNode& node) override {
    if (node.IsLoading()) {
      items_->clear();
      std::vector<DataNode*> children;
      node.GetChildrenByName(itemName_, children);
      for (DataNode* child : children) {
        T item{};
        if (child->Exchange(item)) items_->push_back(std::move(item));
      }
    } else {
      for (T& item : *items_) {
        if (DataNode* child = node.AddChild(itemName_)) child->Exchange(item);
      }
    }
    return true;
  }

 private:
  std::wstring itemName_;
  std::vector<T>* items_;
};

// The program settings.
class Config : public Nodable {
 public:
  bool Serialize(DataNode& node) override;

  std::vector<std::wstring> recent_projects;  // project paths, newest first
};

// The formats a project can choose, in the order the Video page lists them.
void GetFormatList(std::vector<std::pair<int, std::wstring>>& formats);
