#pragma once

#include <cstdint>

namespace shotstamp {

// What the reader learnt about a picture, as plain data. All fields start out zero; each text
// field is a fixed array whose contents end with a zero byte inside the array.
struct PictureRecord {
    char exifVersion[5];
    char make[32];
    char model[40];
    char dateTimeOriginal[20];
    std::int32_t pixelHeight;
    std::int32_t pixelWidth;
    std::int32_t orientation;
    std::int32_t threeComponents;
    std::int32_t frameMarker;
    std::int32_t flashFired;
    float focalLength;
    float exposureTime;
    float fNumber;
    float subjectDistance;
    float sensorWidth;
    float exposureBias;
    std::int32_t lightSource;
    std::int32_t meteringMode;
    std::int32_t exposureProgram;
    std::int32_t isoSpeed;
    std::int32_t compressedBitsPerPixel;
    float focalPlaneXResolution;
    float focalPlaneYResolution;
    float focalPlaneUnitInches;
    float xResolution;
    float yResolution;
    float resolutionUnitInches;
    float brightness;
    char comment[1000];
    // Points into a segment kept by the PictureReader that filled the record; valid only while
    // that reader exists.
    const std::uint8_t* thumbnailData;
    std::int32_t thumbnailLength;
    bool exifPresent;
    // Fraction of a second of the original capture, digits as the camera wrote them.
    char subSecTimeOriginal[10];
};

} // namespace shotstamp
