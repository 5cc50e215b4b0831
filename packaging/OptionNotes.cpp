// What the manual says about each option and name token. Names, value words and defaults
// come from the tables themselves (Reference.cpp); these notes hold only the sentences.
#include "packaging/Reference.h"

namespace {

using K = ValueKind;

constexpr OptionNote kRunNotes[] = {
    {"--INPUT",
     "The camera RAW file to convert. Its extension must be one of the accepted ones (letter case "
     "ignored). A relative path is taken from the current directory.",
     K::RawFile},
    {"--OUTPUT",
     "The folder the JPEG file is written into. It must exist; it is never created. A relative "
     "folder is taken from the current directory; a folder beginning with \"..\" is refused.",
     K::Folder, "the folder of the input file"},
    {"--CONVERSION", "The output extension, in lower case as listed."},
    {"--PROFILE",
     "Applies a profile file (see PROFILE FILES) at the point where the option stands: options "
     "before it are overwritten by the profile, options after it overwrite the profile.",
     K::File},
    {"--DEBUG", "Prints every setting as it was understood, then the per-file lines."},
    {"--QUIET", "Prints nothing but errors."},
    {"--PAUSE", "Waits for a key at the end; the end of standard input ends the wait too."},
};

constexpr OptionNote kRawNotes[] = {
    {"--RAW-LOAD-AS",
     "How the camera file is decoded: AUTO takes the embedded preview when the file has one, "
     "else the full 24-bit picture; 24 always decodes the full picture; 48 decodes 48-bit "
     "linear data and 48HS the same at half size, both then tone mapped; 8 and 16 read the "
     "file as headerless pixel data (see --raw-header-size)."},
    {"--RAW-TONE-MAPPING",
     "The tone mapping of a 48 or 48HS load: NONE keeps 48 bits, LINEAR scales to 24 "
     "bits, AL is adaptive logarithmic mapping, DRR dynamic range reduction, GD gradient "
     "domain compression."},
    {"--RAW-HEADER-SIZE",
     "Bytes skipped at the start of headerless pixel data, which is read with "
     "--raw-load-as=8 or 16, and for a file that no decoder reads (as 16-bit RGB "
     "5-6-5)."},
    {"--RAW-WIDTH",
     "Width of headerless pixel data; used only when --raw-height is given too, otherwise the "
     "data is taken as a square."},
    {"--RAW-HEIGHT", "Height of headerless pixel data; used only together with --raw-width."},
};

constexpr OptionNote kJpegNotes[] = {
    {"--JPG-QUALITY", "JPEG quality, 1 to 100."},
    {"--JPG-CHROMA",
     "Chroma subsampling: NONE keeps full colour resolution (4:4:4), LOW is 4:2:2, MEDIUM "
     "4:2:0, HIGH 4:1:1."},
    {"--JPG-SAVE-AS",
     "JPEG variant: STANDARD, OPTIMIZED (optimal Huffman tables, smaller files), PROGRESSIVE, "
     "or SIMPLE, a plain baseline file without the camera's metadata."},
    {"--JPG-BPP", "Bit depth of the JPEG file: 8 (grey) or 24; 0 chooses from the loaded picture."},
};

constexpr OptionNote kTransformNotes[] = {
    {"--ROTATION", "Turns the picture clockwise by this many degrees; only 1 to 359 turn."},
    {"--ROTATION-TYPE",
     "SIMPLE enlarges the canvas to hold the turned picture and fills the corners with "
     "--rotation-back-color; ADVANCED turns about the centre and keeps the size."},
    {"--ROTATION-BACK-COLOR", "Corner colour of a SIMPLE rotation.", K::Colour},
    {"--WIDTH", "Target width of the resize; --height must be given too, and neither may be 0."},
    {"--WIDTH-UNIT", "Unit of --width."},
    {"--HEIGHT", "Target height of the resize; --width must be given too."},
    {"--HEIGHT-UNIT", "Unit of --height."},
    {"--KEEP-ASPECT-RATIO", "Keeps the proportions: only the target of the picture's longer side counts."},
    {"--RESIZE-TYPE",
     "ALLIMAGES resizes every picture; LARGEIMAGES leaves a picture alone that is smaller "
     "than the target in both directions."},
    {"--RESIZE-ALGORITHM", "The resampling filter of the resize."},
    {"--FLIP-HORIZONTAL", "Mirrors the picture left to right."},
    {"--FLIP-VERTICAL", "Mirrors the picture top to bottom."},
    {"--BRIGHTNESS", "Brightness change, -100 to 100."},
    {"--CONTRAST", "Contrast change, -100 to 100."},
    {"--GAMMA", "Gamma correction, 0.01 to 9.99; 1 changes nothing. The decimal point is \".\"."},
    {"--INVERT", "Makes a negative."},
    {"--GREYSCALE", "Converts to grey."},
    {"--THRESHOLD", "Converts to black and white at this level; only its low 8 bits count (0 to 255)."},
    {"--DITHER", "Converts to black and white with this dithering pattern."},
};

constexpr OptionNote kFrameNotes[] = {
    {"--FR-SOLID-LEFT",
     "Width in pixels of the frame's left side, painted inside the picture (the size "
     "stays); any side width switches the frame on."},
    {"--FR-SOLID-RIGHT", "Width of the frame's right side."},
    {"--FR-SOLID-TOP", "Width of the frame's top side."},
    {"--FR-SOLID-BOTTOM", "Width of the frame's bottom side."},
    {"--FR-SOLID-LEFT-COLOR", "Colour of the left side.", K::Colour},
    {"--FR-SOLID-RIGHT-COLOR", "Colour of the right side.", K::Colour},
    {"--FR-SOLID-TOP-COLOR", "Colour of the top side.", K::Colour},
    {"--FR-SOLID-BOTTOM-COLOR", "Colour of the bottom side.", K::Colour},
    {"--FR-SOLID-OPACITY",
     "Opacity of the whole frame, 0 (invisible) to 255 (opaque); in a profile the key "
     "is --wm-solid-opacity."},
    {"--WM-SOLID-OPACITY", "The frame opacity under its profile name."},
};

constexpr OptionNote kTextWatermarkNotes[] = {
    {"--WM-TEXT",
     "Draws this text as a watermark. \"%eol%\" starts a new line, and the name tokens (see "
     "OUTPUT FILE NAMES) are filled in. The later of --wm-text and --wm-image wins."},
    {"--WM-FONT",
     "Font family, found through fontconfig; a metric-compatible substitute counts (Arial is "
     "drawn with Liberation Sans). Any other fallback is refused."},
    {"--WM-FONT-SIZE", "Font size in points at 96 dots per inch."},
    {"--WM-FONT-LEADING", "Extra pixels between lines."},
    {"--WM-FONT-COLOR", "Text colour.", K::Colour},
    {"--WM-FONT-STYLE", "Font style."},
    {"--WM-FONT-EFFECT", "Underline or strike-out, drawn from the font's own metrics."},
    {"--WM-TEXT-ANTIALIASING", "Draws smooth (antialiased) text instead of raster text."},
    {"--WM-TEXT-ALIGNMENT", "Alignment of the lines within the text box."},
    {"--WM-TEXT-PADDING", "Pixels between the text and the edge of its box."},
    {"--WM-TEXT-OPACITY", "Text opacity, 0 to 255."},
    {"--WM-BACK-COLOR", "Colour of the text box.", K::Colour},
    {"--WM-BACK-OPACITY", "Opacity of the text box, 0 to 255."},
    {"--WM-TEXT-BOUNDARY", "IMAGE places the box within the whole picture, FRAME within the frame."},
    {"--WM-TEXT-POSITION", "Where the box is anchored."},
    {"--WM-TEXT-X-OFFSET", "Distance in pixels from the anchored left or right edge."},
    {"--WM-TEXT-Y-OFFSET", "Distance in pixels from the anchored top or bottom edge."},
    {"--WM-TEXT-ROTATION", "Turns the box by this many degrees; only 1 to 359 turn."},
    {"--WM-TEXT-SIZE", "The box keeps its natural size."},
};

constexpr OptionNote kImageWatermarkNotes[] = {
    {"--WM-IMAGE", "Draws this BMP, JPEG or PNG picture as a watermark, with its transparency.", K::File},
    {"--WM-IMAGE-GREYSCALE", "Draws the picture in grey."},
    {"--WM-IMAGE-OPACITY", "Opacity of the picture, 0 to 255."},
    {"--WM-IMAGE-BOUNDARY", "As --wm-text-boundary."},
    {"--WM-IMAGE-POSITION", "As --wm-text-position."},
    {"--WM-IMAGE-X-OFFSET", "As --wm-text-x-offset."},
    {"--WM-IMAGE-Y-OFFSET", "As --wm-text-y-offset."},
    {"--WM-IMAGE-ROTATION", "As --wm-text-rotation."},
    {"--WM-IMAGE-SIZE", "The picture keeps its natural size."},
};

constexpr OptionNote kOutputFileNotes[] = {
    {"--FILENAME-MASK",
     "The output file name, built from the name tokens (see OUTPUT FILE NAMES); the "
     "mask's own text is lower-cased. A name that begins with \"/\" or holds a \"..\" folder stops the "
     "conversion: it never leaves the output folder.",
     K::Mask},
    {"--FILE-TIMESTAMP",
     "Modification time of the JPEG file: CURRENT (when it was written), ORIGINAL (that of "
     "the RAW file) or CUSTOM (--file-timestamp-custom)."},
    {"--FILE-TIMESTAMP-CUSTOM",
     "Local date and time for CUSTOM, in seconds since 1970-01-01 00:00:00 of the "
     "local calendar.",
     K::ByForm, "the local date and time when the program starts"},
    {"--NO-SUBFOLDERS",
     "Leaves out the input's subfolder below the output folder (a run of one file has "
     "none)."},
};

constexpr OptionNote kOtherFormatNotes[] = {
    {"--DDS-LOAD-AS", "DDS channel order."},
    {"--GIF-FRAME-LOADING", "GIF frame choice."},
    {"--ICO-FRAME-LOADING", "ICO frame choice."},
    {"--TIFF-FRAME-LOADING", "TIFF page choice."},
    {"--PSD-COLOR-MODE", "PSD colour mode."},
    {"--BMP-BPP", "BMP bit depth."},
    {"--BMP-COMPRESSION", "BMP compression."},
    {"--BMP-COLOR-TABLE", "BMP colour table."},
    {"--DDS-BPP", "DDS bit depth."},
    {"--EXR-BPP", "EXR bit depth."},
    {"--EXR-COMPRESSION", "EXR compression."},
    {"--GIF-BPP", "GIF bit depth."},
    {"--HDR-BPP", "HDR bit depth."},
    {"--ICO-BPP", "ICO bit depth."},
    {"--J2K-BPP", "J2K bit depth."},
    {"--JNG-BPP", "JNG bit depth."},
    {"--JP2-BPP", "JP2 bit depth."},
    {"--JXR-BPP", "JXR bit depth."},
    {"--PBM-BPP", "PBM bit depth."},
    {"--PCX-BPP", "PCX bit depth."},
    {"--PFM-BPP", "PFM bit depth."},
    {"--PGM-BPP", "PGM bit depth."},
    {"--PNG-BPP", "PNG bit depth."},
    {"--PNG-COMPRESSION", "PNG compression."},
    {"--PNG-INTERLACED", "Interlaced PNG."},
    {"--PPM-BPP", "PPM bit depth."},
    {"--PSD-BPP", "PSD bit depth."},
    {"--TGA-BPP", "TGA bit depth."},
    {"--TGA-COMPRESSION", "TGA compression."},
    {"--TIFF-BPP", "TIFF bit depth."},
    {"--TIFF-COMPRESSION", "TIFF compression."},
    {"--TIFF-COLOR-MODE", "TIFF colour mode."},
    {"--WBMP-BPP", "WBMP bit depth."},
    {"--WEBP-BPP", "WebP bit depth."},
    {"--WEBP-QUALITY", "WebP quality."},
    {"--XPM-BPP", "XPM bit depth."},
};

constexpr OptionGroup kGroups[] = {
    {"Input, output and run", "", kRunNotes},
    {"Camera RAW loading", "", kRawNotes},
    {"JPEG saving", "", kJpegNotes},
    {"Transforms",
     "They run in this order: rotation, resize, tone mapping, flips, brightness, contrast, "
     "gamma and invert, greyscale, threshold, dithering.",
     kTransformNotes},
    {"Frame", "A solid frame with mitred corners, painted before the watermark.", kFrameNotes},
    {"Text watermark", "", kTextWatermarkNotes},
    {"Picture watermark", "", kImageWatermarkNotes},
    {"Output file", "", kOutputFileNotes},
    {"Options for other formats",
     "The program's format tables know more formats than this build accepts (camera RAW in, JPEG out). "
     "These options are accepted and stored, but they change nothing in a conversion to JPEG.",
     kOtherFormatNotes},
};

constexpr TokenNote kTokenNotes[] = {
    {"%filename%", "the input file's name without folder and extension, letter case kept"},
    {"%filename[u]%", "the same in upper case"},
    {"%filename[l]%", "the same in lower case"},
    {"%filename[t]%", "the same with the first letter in upper case, the rest in lower case"},
    {"%ext%", "the output extension (jpg)"},
    {"%ext[u]%", "the output extension in upper case"},
    {"%ext[t]%", "the output extension with its first letter in upper case"},
    {"%yyyy%", "the local year when the name is made, four digits"},
    {"%mm%", "the local month, two digits"},
    {"%dd%", "the local day of the month, two digits"},
    {"%hh%", "the local hour, 00 to 23"},
    {"%ii%", "the local minute, two digits"},
    {"%ss%", "the local second, two digits"},
    {"%bpp%", "the bit depth that is saved"},
    {"%width%", "the picture's width after rotation and resize"},
    {"%height%", "the picture's height after rotation and resize"},
    {"%frame%", "the frame number, always 1"},
    {"%rnd%", "a random number, five digits"},
    {"%n%", "the running number of the file, five digits (00001)"},
};

}  // namespace

std::span<const OptionGroup> OptionGroups() { return kGroups; }

std::span<const TokenNote> TokenNotes() { return kTokenNotes; }
