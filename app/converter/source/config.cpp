#include "app/converter/source/config.h"

bool VideoConfig::Serialize(DataNode& node) {
  node.ExchangeChild(L"video_file", video_file);
  node.ExchangeChild(L"format", format);
  node.ExchangeChild(L"bitrate", bitrate);
  node.ExchangeChild(L"key_frame_interval", key_frame_interval);
  node.ExchangeChild(L"quality", quality);
  return true;
}

bool VideoConfig::operator==(const VideoConfig& other) const {
  return video_file == other.video_file && format == other.format && bitrate == other.bitrate &&
         key_frame_interval == other.key_frame_interval && quality == other.quality;
}

bool AudioConfig::Serialize(DataNode& node) {
  node.ExchangeChild(L"audio_type", audio_type);
  node.ExchangeChild(L"audio_file", audio_file);
  return true;
}

bool PublishConfig::Serialize(DataNode& node) {
  node.ExchangeChild(L"save_dir", save_dir);
  node.ExchangeChild(L"save_name", save_name);
  node.ExchangeChild(L"add_control", add_control);
  node.ExchangeChild(L"create_html", create_html);
  return true;
}

bool PublishConfig::operator==(const PublishConfig& other) const {
  return save_dir == other.save_dir && save_name == other.save_name && add_control == other.add_control &&
         create_html == other.create_html;
}

OutputPaths GetOutputPaths(const PublishConfig& publish) {
  const std::wstring folder = publish.save_dir + L"\\";
  return {folder + publish.save_name, folder + HtmlPageName(publish.save_name)};
}

std::wstring HtmlPageName(const std::wstring& movieName) {
  return movieName.substr(0, movieName.rfind(L'.')) + L".htm";
}

bool ProjectConfig::Serialize(DataNode& node) {
  node.ExchangeChild(L"video_config", video_config);
  node.ExchangeChild(L"audio_config", audio_config);
  node.ExchangeChild(L"publish_config", publish_config);
  return true;
}

void ProjectConfig::Assign(const ProjectConfig& other) {
  video_config = other.video_config;
  audio_config = other.audio_config;
  publish_config = other.publish_config;
}

bool ProjectConfig::operator==(const ProjectConfig& other) const {
  return video_config == other.video_config && audio_config.audio_type == other.audio_config.audio_type &&
         audio_config.audio_file == other.audio_config.audio_file && publish_config == other.publish_config;
}

bool Config::Serialize(DataNode& node) {
  NodableVector<std::wstring> files(L"file", &recent_projects);
  node.ExchangeChild(L"recent_projects", files);
  return true;
}

void GetFormatList(std::vector<std::pair<int, std::wstring>>& formats) {
  formats.clear();
  formats.emplace_back(kFormatLossless, L"Screen Video (Lossless)");
  formats.emplace_back(kFormatVp6, L"Flash 8 (VP6)");
}
