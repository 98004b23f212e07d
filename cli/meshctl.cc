// meshctl: the command-line face of the mesh worker for people.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/mesh_json.h"
#include "protocol/coding.h"
#include "protocol/frame.h"

namespace mesh {
namespace {

bool ReadWholeFile(const std::string& path, std::string* out) {
  if (path == "-") {
    out->assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    return true;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& data) {
  if (path == "-") {
    std::cout.write(data.data(), static_cast<std::streamsize>(data.size()));
    std::cout.flush();
    return static_cast<bool>(std::cout);
  }
  std::ofstream out(path, std::ios::binary);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

int Encode(const std::string& in_path, const std::string& out_path) {
  std::string text;
  if (!ReadWholeFile(in_path, &text)) {
    std::cerr << "meshctl: cannot read " << in_path << "\n";
    return 1;
  }
  nlohmann::json json;
  try {
    json = nlohmann::json::parse(text);
  } catch (const nlohmann::json::parse_error& e) {
    std::cerr << "meshctl: " << in_path << ": " << e.what() << "\n";
    return 1;
  }
  MeshRequest request;
  std::string error;
  if (!MeshRequestFromJson(json, &request, &error)) {
    std::cerr << "meshctl: " << in_path << ": " << error << "\n";
    return 1;
  }
  if (!WriteWholeFile(out_path, EncodeFrame(kKindMeshRequest, EncodeMeshRequest(request)))) {
    std::cerr << "meshctl: cannot write " << out_path << "\n";
    return 1;
  }
  return 0;
}

// Prints every answer frame in the input as one JSON document per line.
int Decode(const std::string& in_path, const std::string& out_path) {
  std::string bytes;
  if (!ReadWholeFile(in_path, &bytes)) {
    std::cerr << "meshctl: cannot read " << in_path << "\n";
    return 1;
  }
  std::string text;
  size_t pos = 0;
  while (pos < bytes.size()) {
    if (bytes.size() - pos < kFrameHeaderSize) {
      std::cerr << "meshctl: truncated frame header at byte " << pos << "\n";
      return 1;
    }
    const FrameHeader header =
        DecodeFrameHeader(reinterpret_cast<const unsigned char*>(bytes.data()) + pos);
    pos += kFrameHeaderSize;
    if (!header.magic_ok || header.payload_length > bytes.size() - pos) {
      std::cerr << "meshctl: malformed frame at byte " << pos - kFrameHeaderSize << "\n";
      return 1;
    }
    nlohmann::json answer;
    if (header.kind == kKindFailure) {
      answer = {{"ok", false}};
    } else {
      PlanarComplexMesh mesh;
      if (!DecodePlanarComplexMesh(bytes.data() + pos, header.payload_length, &mesh)) {
        std::cerr << "meshctl: malformed result payload at byte " << pos << "\n";
        return 1;
      }
      answer = PlanarComplexMeshToJson(mesh);
      answer["ok"] = true;
    }
    pos += header.payload_length;
    text += answer.dump() + "\n";
  }
  if (!WriteWholeFile(out_path, text)) {
    std::cerr << "meshctl: cannot write " << out_path << "\n";
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace mesh

int main(int argc, char** argv) {
  CLI::App app{"meshctl: mesh planar regions with mesh-worker"};
  app.require_subcommand(1);

  std::string encode_in, encode_out = "-";
  CLI::App* encode = app.add_subcommand("encode", "JSON request to a raw request frame");
  encode->add_option("input", encode_in, "JSON request file, or - for standard input")->required();
  encode->add_option("-o,--output", encode_out, "frame file, or - for standard output");

  std::string decode_in = "-", decode_out = "-";
  CLI::App* decode = app.add_subcommand("decode", "raw answer frames to JSON, one per line");
  decode->add_option("input", decode_in, "answer frames, or - for standard input");
  decode->add_option("-o,--output", decode_out, "JSON lines file, or - for standard output");

  CLI11_PARSE(app, argc, argv);
  if (*encode) return mesh::Encode(encode_in, encode_out);
  return mesh::Decode(decode_in, decode_out);
}
