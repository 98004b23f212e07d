#include "formats/model_file.h"

#include <string>

#include <gtest/gtest.h>

namespace mesh {
namespace {

TEST(ModelFileTest, ChoosesTheReaderByNameAndNamesTheFileInErrors) {
  EXPECT_TRUE(IsObjPath("a/b.OBJ"));
  EXPECT_FALSE(IsObjPath("a/b.city.json"));
  EXPECT_FALSE(IsObjPath("obj"));

  ModelReadResult result;
  std::string error;
  ASSERT_TRUE(ReadModelFile("examples/models/two_boxes.obj", ModelReadOptions(), &result, &error))
      << error;
  EXPECT_EQ(result.model.faces.size(), 12u);
  ASSERT_TRUE(ReadModelFile("examples/models/cube.json", ModelReadOptions(), &result, &error))
      << error;
  EXPECT_EQ(result.model.faces.size(), 6u);

  EXPECT_FALSE(ReadModelFile("no/such.obj", ModelReadOptions(), &result, &error));
  EXPECT_EQ(error, "no/such.obj: cannot open the file");
  EXPECT_FALSE(ReadModelFile("no/such.json", ModelReadOptions(), &result, &error));
  EXPECT_EQ(error, "no/such.json: cannot open the file");
  // A directory opens as a stream but fails on the first read.
  EXPECT_FALSE(ReadModelFile("examples/models", ModelReadOptions(), &result, &error));
  EXPECT_EQ(error,
            "examples/models: cannot read the file (basic_filebuf::underflow error reading the "
            "file: Is a directory)");
}

}  // namespace
}  // namespace mesh
