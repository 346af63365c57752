#include "media/track_identity.h"

#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/asfpicture.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tfilestream.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>

#include <algorithm>
#include <array>
#include <memory>

#include "engine/track_state.h"

namespace media {

namespace {

using TagLib::ByteVector;
using TagLib::String;
using TagLib::StringList;

// The text tags carried, under the tag library's property names, with the other names the
// same tag goes by in the formats read.
struct CarriedTag {
  const char* property;
  std::array<const char*, 3> aliases;
};

const CarriedTag kCarriedTags[] = {
    {"TITLE", {}},
    {"ARTIST", {}},
    {"ALBUM", {}},
    {"ALBUMARTIST", {"ALBUM ARTIST", "ALBUM_ARTIST"}},
    {"TRACKNUMBER", {"TRACK"}},
    {"DISCNUMBER", {"DISC"}},
    {"DATE", {"YEAR"}},
    {"GENRE", {}},
    {"COMPOSER", {}},
    {"COMMENT", {"DESCRIPTION"}},
    {"BPM", {"TEMPO", "TBPM"}},
    {"INITIALKEY", {"KEY", "TKEY"}},
    {"COPYRIGHT", {}},
    {"LABEL", {"PUBLISHER", "ORGANIZATION"}},
    {"LYRICS", {"UNSYNCEDLYRICS"}},
    {"ISRC", {"TSRC"}},
};

// Totals that formats keep apart join their number as "3/12", as ID3 has them.
struct Total {
  const char* number;
  std::array<const char*, 2> names;
};
const Total kTotals[] = {
    {"TRACKNUMBER", {"TRACKTOTAL", "TOTALTRACKS"}},
    {"DISCNUMBER", {"DISCTOTAL", "TOTALDISCS"}},
};

// Frames of a source MP3 that describe its loudness before processing, or the layout of the
// source file itself (seek tables, its encoder's settings and delay): all are wrong for the
// result.
const char* const kDroppedFrameIds[] = {"RVA2", "RVAD", "TSSE", "MLLT", "SEEK", "ASPI"};
const char* const kLoudnessDescriptionPrefixes[] = {"REPLAYGAIN_", "R128_", "MP3GAIN_"};
const char* const kDroppedCommentDescriptions[] = {"ITUNNORM", "ITUNSMPB", "ITUNPGAP"};

constexpr const char* kEncoderFrameId = "TSSE";
constexpr const char* kCoverDescription = "Album cover";

std::string text(const String& value) { return value.to8Bit(true); }
String tagText(const std::string& value) { return String(value, String::UTF8); }

bool startsWithAny(const std::string& upper, const char* const* prefixes, std::size_t count) {
  return std::any_of(prefixes, prefixes + count,
                     [&upper](const char* prefix) { return upper.rfind(prefix, 0) == 0; });
}

std::vector<std::string> values(const StringList& list) {
  std::vector<std::string> result;
  for (const String& value : list) {
    if (!value.isEmpty()) result.push_back(text(value));
  }
  return result;
}

std::vector<std::pair<std::string, std::vector<std::string>>> carriedText(
    const TagLib::PropertyMap& properties) {
  std::vector<std::pair<std::string, std::vector<std::string>>> carried;
  auto found = [&properties](const char* name) {
    const auto entry = properties.find(name);
    return entry == properties.end() ? std::vector<std::string>{} : values(entry->second);
  };
  for (const CarriedTag& tag : kCarriedTags) {
    std::vector<std::string> tagValues = found(tag.property);
    for (const char* alias : tag.aliases) {
      if (!tagValues.empty() || !alias) break;
      tagValues = found(alias);
    }
    if (tagValues.empty()) continue;
    for (const Total& total : kTotals) {
      if (std::string(total.number) != tag.property ||
          tagValues.front().find('/') != std::string::npos) {
        continue;
      }
      for (const char* name : total.names) {
        const std::vector<std::string> totalValues = found(name);
        if (totalValues.empty()) continue;
        tagValues.front() += "/" + totalValues.front();
        break;
      }
    }
    carried.emplace_back(tag.property, std::move(tagValues));
  }
  return carried;
}

std::string bytes(const ByteVector& data) { return std::string(data.data(), data.size()); }
ByteVector tagBytes(const std::string& data) {
  return ByteVector(data.data(), static_cast<unsigned int>(data.size()));
}

// The picture marked as the front cover, else the first one.
template <class Picture, class IsFront, class ToCover>
std::optional<Cover> frontCover(const std::vector<Picture>& pictures, IsFront isFront,
                                ToCover toCover) {
  if (pictures.empty()) return std::nullopt;
  const auto front = std::find_if(pictures.begin(), pictures.end(), isFront);
  return toCover(front == pictures.end() ? pictures.front() : *front);
}

std::optional<Cover> coverOfId3(TagLib::ID3v2::Tag* tag) {
  if (!tag) return std::nullopt;
  std::vector<const TagLib::ID3v2::AttachedPictureFrame*> pictures;
  for (const TagLib::ID3v2::Frame* frame : tag->frameList("APIC")) {
    if (auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame)) {
      pictures.push_back(picture);
    }
  }
  return frontCover(
      pictures,
      [](const TagLib::ID3v2::AttachedPictureFrame* picture) {
        return picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover;
      },
      [](const TagLib::ID3v2::AttachedPictureFrame* picture) {
        return Cover{text(picture->mimeType()), text(picture->description()),
                     bytes(picture->picture())};
      });
}

std::optional<Cover> coverOfFlacPictures(const TagLib::List<TagLib::FLAC::Picture*>& list) {
  const std::vector<TagLib::FLAC::Picture*> pictures(list.begin(), list.end());
  return frontCover(
      pictures,
      [](const TagLib::FLAC::Picture* picture) {
        return picture->type() == TagLib::FLAC::Picture::FrontCover;
      },
      [](const TagLib::FLAC::Picture* picture) {
        return Cover{text(picture->mimeType()), text(picture->description()),
                     bytes(picture->data())};
      });
}

std::optional<Cover> coverOfMp4(TagLib::MP4::Tag* tag) {
  if (!tag || !tag->contains("covr")) return std::nullopt;
  const TagLib::MP4::CoverArtList list = tag->item("covr").toCoverArtList();
  if (list.isEmpty()) return std::nullopt;
  const TagLib::MP4::CoverArt& art = list.front();
  const char* mimeType = art.format() == TagLib::MP4::CoverArt::PNG ? "image/png" : "image/jpeg";
  return Cover{mimeType, "", bytes(art.data())};
}

std::optional<Cover> coverOfAsf(TagLib::ASF::Tag* tag) {
  if (!tag || !tag->contains("WM/Picture")) return std::nullopt;
  std::vector<TagLib::ASF::Picture> pictures;
  for (const TagLib::ASF::Attribute& attribute : tag->attribute("WM/Picture")) {
    const TagLib::ASF::Picture picture = attribute.toPicture();
    if (picture.isValid()) pictures.push_back(picture);
  }
  return frontCover(
      pictures,
      [](const TagLib::ASF::Picture& picture) {
        return picture.type() == TagLib::ASF::Picture::FrontCover;
      },
      [](const TagLib::ASF::Picture& picture) {
        return Cover{text(picture.mimeType()), text(picture.description()),
                     bytes(picture.picture())};
      });
}

// An APE tag's cover is a file name, a zero byte and the picture.
std::optional<Cover> coverOfApe(TagLib::APE::Tag* tag) {
  if (!tag) return std::nullopt;
  const auto& items = tag->itemListMap();
  const auto item = items.find("COVER ART (FRONT)");
  if (item == items.end()) return std::nullopt;
  const ByteVector value = item->second.binaryData();
  const int nameEnd = value.find('\0');
  if (nameEnd < 0) return std::nullopt;
  const std::string name = bytes(value.mid(0, static_cast<unsigned int>(nameEnd)));
  const bool png = name.size() >= 4 && (name.compare(name.size() - 4, 4, ".png") == 0 ||
                                        name.compare(name.size() - 4, 4, ".PNG") == 0);
  return Cover{png ? "image/png" : "image/jpeg", "",
               bytes(value.mid(static_cast<unsigned int>(nameEnd) + 1))};
}

std::optional<Cover> coverOf(TagLib::File* file) {
  if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) return coverOfId3(mpeg->ID3v2Tag());
  if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
    std::optional<Cover> cover = coverOfFlacPictures(flac->pictureList());
    if (!cover && flac->xiphComment())
      cover = coverOfFlacPictures(flac->xiphComment()->pictureList());
    return cover;
  }
  if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file)) {
    return vorbis->tag() ? coverOfFlacPictures(vorbis->tag()->pictureList()) : std::nullopt;
  }
  if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(file)) {
    return opus->tag() ? coverOfFlacPictures(opus->tag()->pictureList()) : std::nullopt;
  }
  if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) return coverOfMp4(mp4->tag());
  if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) return coverOfId3(wav->ID3v2Tag());
  if (auto* asf = dynamic_cast<TagLib::ASF::File*>(file)) return coverOfAsf(asf->tag());
  if (auto* wavPack = dynamic_cast<TagLib::WavPack::File*>(file))
    return coverOfApe(wavPack->APETag());
  if (auto* ape = dynamic_cast<TagLib::APE::File*>(file)) return coverOfApe(ape->APETag());
  return std::nullopt;
}

// The frames as plain pointers: a copy of the tag's own list would delete them when the tag
// lets go of one.
std::vector<TagLib::ID3v2::Frame*> framesOf(const TagLib::ID3v2::Tag& tag) {
  const TagLib::ID3v2::FrameList& list = tag.frameList();
  return std::vector<TagLib::ID3v2::Frame*>(list.begin(), list.end());
}

bool keptFrame(const TagLib::ID3v2::Frame* frame) {
  const std::string id = bytes(frame->frameID());
  if (std::find(std::begin(kDroppedFrameIds), std::end(kDroppedFrameIds), id) !=
      std::end(kDroppedFrameIds)) {
    return false;
  }
  if (auto* user = dynamic_cast<const TagLib::ID3v2::UserTextIdentificationFrame*>(frame)) {
    return !startsWithAny(text(user->description().upper()), kLoudnessDescriptionPrefixes,
                          std::size(kLoudnessDescriptionPrefixes));
  }
  if (auto* comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(frame)) {
    const std::string description = text(comment->description().upper());
    return std::find(std::begin(kDroppedCommentDescriptions), std::end(kDroppedCommentDescriptions),
                     description) == std::end(kDroppedCommentDescriptions);
  }
  return true;
}

// The tag without the frames that are not kept, as ID3v2.4 bytes whatever the source's version.
// Only the copy in memory is changed.
std::string keptTag(TagLib::ID3v2::Tag& tag) {
  const std::vector<TagLib::ID3v2::Frame*> held = framesOf(tag);
  bool anyKept = false;
  for (TagLib::ID3v2::Frame* frame : held) {
    if (keptFrame(frame)) {
      anyKept = true;
    } else {
      tag.removeFrame(frame, true);
    }
  }
  return anyKept ? bytes(tag.render(TagLib::ID3v2::v4)) : std::string();
}

// Moves the frames of tag bytes that keptTag rendered into tag.
void moveKeptFrames(const std::string& keptTagBytes, TagLib::ID3v2::Tag& tag) {
  ByteVector data = tagBytes(keptTagBytes);
  TagLib::ByteVectorStream stream(data);
  TagLib::MPEG::File holder(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
  TagLib::ID3v2::Tag* kept = holder.ID3v2Tag();
  if (!kept) return;
  for (TagLib::ID3v2::Frame* frame : framesOf(*kept)) {
    kept->removeFrame(frame, false);
    tag.addFrame(frame);
  }
}

StringList tagTexts(const std::vector<std::string>& texts) {
  StringList list;
  for (const std::string& value : texts) list.append(tagText(value));
  return list;
}

// The identity's frames put into tag, which keeps only its encoder's frame of what it held.
void fillId3(TagLib::ID3v2::Tag& tag, const TrackIdentity& identity) {
  for (TagLib::ID3v2::Frame* frame : framesOf(tag)) {
    if (frame->frameID() != kEncoderFrameId) tag.removeFrame(frame, true);
  }
  if (!identity.id3Tag.empty()) {
    moveKeptFrames(identity.id3Tag, tag);
    return;
  }
  for (const auto& [property, texts] : identity.text) {
    tag.addFrame(TagLib::ID3v2::Frame::createTextualFrame(tagText(property), tagTexts(texts)));
  }
  if (identity.cover) {
    auto picture = std::make_unique<TagLib::ID3v2::AttachedPictureFrame>();
    picture->setMimeType(tagText(identity.cover->mimeType));
    picture->setDescription(tagText(
        identity.cover->description.empty() ? kCoverDescription : identity.cover->description));
    picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    picture->setPicture(tagBytes(identity.cover->data));
    tag.addFrame(picture.release());
  }
}

void setTextFrames(TagLib::ID3v2::Tag& tag,
                   const std::vector<std::pair<std::string, std::string>>& frames) {
  for (const auto& [description, value] : frames) {
    while (auto* old =
               TagLib::ID3v2::UserTextIdentificationFrame::find(&tag, tagText(description))) {
      tag.removeFrame(old, true);
    }
    // Latin-1 where it serves, as readers that know no other expect these frames.
    const String text = tagText(value);
    tag.addFrame(new TagLib::ID3v2::UserTextIdentificationFrame(
        tagText(description), StringList(text), text.isLatin1() ? String::Latin1 : String::UTF8));
  }
}

// Within the padding the first save leaves, a later one (the album's tags) rewrites the tag alone
// and moves no audio.
bool saveMp3(TagLib::MPEG::File& file) {
  // The version that most players, car radios and DJ software read.
  return file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, TagLib::ID3v2::v3,
                   TagLib::File::DoNotDuplicate);
}

}  // namespace

std::optional<TrackIdentity> readTrackIdentity(const std::string& path) {
  // By its name only: guessed from its bytes, a container the tag library does not know (a
  // Matroska file) can pass for one it does, and read as one with no tags.
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return std::nullopt;
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (!TagLib::FileRef::defaultFileExtensions().contains(extension)) return std::nullopt;
  TagLib::FileRef source(path.c_str(), false);
  if (source.isNull()) return std::nullopt;
  TrackIdentity identity;
  identity.text = carriedText(source.file()->properties());
  identity.cover = coverOf(source.file());
  if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(source.file()); mpeg && mpeg->hasID3v2Tag()) {
    identity.id3Tag = keptTag(*mpeg->ID3v2Tag());
  }
  return identity;
}

std::optional<int> mp3BitrateKbps(const std::string& path) {
  // An MP3 by the job's rule: the last three letters of its name, whatever their case.
  std::string ending = path.size() >= 3 ? path.substr(path.size() - 3) : "";
  for (char& c : ending) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (ending != "mp3") return std::nullopt;
  TagLib::MPEG::File file(path.c_str(), true, TagLib::AudioProperties::Accurate);
  if (!file.isValid() || !file.audioProperties() || file.audioProperties()->bitrate() <= 0) {
    return std::nullopt;
  }
  return file.audioProperties()->bitrate();
}

TrackIdentity identityOfProbedTags(const std::vector<std::pair<std::string, std::string>>& tags) {
  TagLib::PropertyMap properties;
  for (const auto& [name, value] : tags) properties[tagText(name).upper()].append(tagText(value));
  TrackIdentity identity;
  identity.text = carriedText(properties);
  return identity;
}

bool writeMp3Tag(const std::string& mp3Path, const TrackIdentity& identity,
                 const std::vector<std::pair<std::string, std::string>>& textFrames) {
  TagLib::MPEG::File file(mp3Path.c_str(), false);
  if (!file.isValid() || file.readOnly()) return false;
  TagLib::ID3v2::Tag& tag = *file.ID3v2Tag(true);
  fillId3(tag, identity);
  setTextFrames(tag, textFrames);
  return saveMp3(file);
}

bool writeMp3TextFramesInPlace(const std::string& mp3Path,
                               const std::vector<std::pair<std::string, std::string>>& frames) {
  TagLib::MPEG::File file(mp3Path.c_str(), false);
  if (!file.isValid() || file.readOnly() || !file.hasID3v2Tag()) return false;
  TagLib::ID3v2::Tag& tag = *file.ID3v2Tag();
  const unsigned int heldBytes = tag.header()->completeTagSize();
  setTextFrames(tag, frames);
  // Rendered to the size it had, the tag is written over itself and no audio byte moves, so a
  // full disk or a stop cannot cut the MP3 short.
  if (tag.render(TagLib::ID3v2::v3).size() != heldBytes) return false;
  return saveMp3(file);
}

namespace {

bool saveWavIdentity(const std::string& wavPath, const TrackIdentity& identity) {
  TagLib::RIFF::WAV::File file(wavPath.c_str(), false);
  if (!file.isValid() || file.readOnly()) return false;
  TagLib::PropertyMap properties;
  for (const auto& [property, texts] : identity.text)
    properties[tagText(property)] = tagTexts(texts);
  file.InfoTag()->setProperties(properties);
  fillId3(*file.ID3v2Tag(), identity);
  return file.save(TagLib::RIFF::WAV::File::AllTags, TagLib::File::StripOthers, TagLib::ID3v2::v3);
}

// A full disk part-way through the tags is not told by the tag library: the chunks end short of
// what the header states. Such a file is no WAV a player can trust.
bool holdsWholeChunks(const std::string& wavPath) {
  TagLib::FileStream stream(wavPath.c_str(), true);
  if (!stream.isOpen()) return false;
  const ByteVector head = stream.readBlock(8);
  if (head.size() != 8 || !head.startsWith("RIFF") ||
      static_cast<long long>(head.toUInt(4, false)) + 8 != stream.length()) {
    return false;
  }
  TagLib::RIFF::WAV::File file(wavPath.c_str(), false);
  return file.isValid();
}

}  // namespace

bool writeWavIdentity(const std::string& wavPath, const TrackIdentity& identity) {
  // The result as written holds its header and its audio only; the tags come after them.
  ByteVector header;
  long untaggedBytes = 0;
  {
    TagLib::FileStream stream(wavPath.c_str(), true);
    if (!stream.isOpen()) return false;
    untaggedBytes = stream.length();
    header = stream.readBlock(engine::kWavHeaderBytes);
    if (header.size() != engine::kWavHeaderBytes) return false;
  }
  if (saveWavIdentity(wavPath, identity) && holdsWholeChunks(wavPath)) return true;
  TagLib::FileStream stream(wavPath.c_str(), false);
  if (stream.isOpen() && !stream.readOnly()) {
    stream.truncate(untaggedBytes);
    stream.seek(0);
    stream.writeBlock(header);
  }
  return false;
}

}  // namespace media
