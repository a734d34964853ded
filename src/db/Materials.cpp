#include "db/EmitText.hpp"
#include "db/Entities.hpp"
#include "db/GdlWriter.hpp"

#include "ostrel/Text.hpp"

namespace tarvel {

using emit::Line;

// Configuration parameters are never written by the generation.
void ConfigParam::EmitGDL(GdlWriter& writer) { writer.AppendMasterUtf8(""); }

void LineStyle::EmitGDL(GdlWriter&) {}

namespace {

constexpr const char* kMaterialTail[] = {
    "    0, ! emission atten. [0.0..65.5]",
    "    IND(FILL, \"Background\"), -1, 0 ADDITIONAL_DATA C4D_VER_MAIN = 1,",
    "    C4D_VER_SUB = 5,",
    "    C4D_ChSize_KeepProp = 0,",
    "    C4D_ChCol_Color = tmp_C4D_ChCol_Color,",
    "    C4D_ChCol_Brightness = 0.86,",
    "    C4D_ChCol_DiffuseFalloff = 0.81,",
    "    C4D_ChDif_State = 1,",
    "    C4D_ChDif_Texture = \"1\",",
    "    C4D_ShLayer_Shaders_1 = \"3,5\",",
    "    C4D_ShNoise_BlendMode_3 = \"Screen\",",
    "    C4D_ShNoise_Seed_3 = 901,",
    "    C4D_ShNoise_Noise_3 = \"FBM\",",
    "    C4D_ShNoise_Space_3 = \"World\",",
    "    C4D_ShNoise_GlobalScale_3 = 7.54,",
    "    C4D_ShNoise_LowClip_3 = 0.26,",
    "    C4D_ShNoise_Color1_5 = tmp_C4D_ShNoise_Color1_5,",
    "    C4D_ShNoise_Seed_5 = 467,",
    "    C4D_ShNoise_Noise_5 = \"Turbulence\",",
    "    C4D_ShNoise_Space_5 = \"World\",",
    "    C4D_ShNoise_GlobalScale_5 = 7.83,",
    "    C4D_ShNoise_RelativeScale_5 = tmp_C4D_ShNoise_RelativeScale_5,",
    "    C4D_ChDif_MixStrength = 0.13,",
    "    C4D_ChLum_Brightness = 0,",
    "    C4D_ChTra_Brightness = 0,",
    "    C4D_ChTra_Refraction = 1.45,",
    "    C4D_ChTra_FresnelReflectivity = 0,",
    "    C4D_ChRfl_RefLayerT = \"9\",",
    "    C4D_RefLayer_State_9 = 1,",
    "    C4D_RefLayer_Type_9 = \"ReflectionLegacy\",",
    "    C4D_RefLayer_Attenuation_9 = \"Average\",",
    "    C4D_RefLayer_WidthRough_9 = 0,",
    "    C4D_RefLayer_RefStrength_9 = 1,",
    "    C4D_RefLayer_SpeStrength_9 = 0,",
    "    C4D_ChBum_Strength = -0.09,",
    "    C4D_ChBum_Texture = \"14\",",
    "    C4D_ShNoise_Seed_14 = 270,",
    "    C4D_ShNoise_Noise_14 = \"Poxo\",",
    "    C4D_ShNoise_GlobalScale_14 = 0.05",
    "",
};

double Fraction(std::uint16_t component) { return component / 255.0; }

void AppendColour(GdlWriter& writer, const RGBColor& c, const char* comment)
{
    writer.AppendMasterUtf8((Line("    ") << Fraction(c.red) << ", " << Fraction(c.green) << ", " << Fraction(c.blue)
                                           << ", " << comment)
                                .Text());
}

}  // namespace

void Material::EmitGDL(GdlWriter& writer)
{
    writer.AppendMasterUtf8((Line("tmp_C4D_ChCol_Color[1] = ") << Fraction(diffuse.red)).Text());
    writer.AppendMasterUtf8((Line("tmp_C4D_ChCol_Color[2] = ") << Fraction(diffuse.green)).Text());
    writer.AppendMasterUtf8((Line("tmp_C4D_ChCol_Color[3] = ") << Fraction(diffuse.blue)).Text());
    // The name is encoded as in SET MATERIAL, so that a quote cannot end it early.
    std::string& line = writer.Scratch();
    line.assign("DEFINE MATERIAL \"");
    AppendNameUtf8Of(line, name);
    line += "\" 20,";
    writer.AppendMasterUtf8(line);
    AppendColour(writer, diffuse, "! surface RGB [0.0..1.0]");
    writer.AppendMasterUtf8("    1.0, 0.5, 0.5, ! ambient, diffuse, specular coeff. [0.0..1.0] (all three)");
    writer.AppendMasterUtf8((Line("    ") << transparency << ", ! transparent coeff. [0.0..1.0]").Text());
    writer.AppendMasterUtf8((Line("    ") << shininess << ", ! shining [0.0..100.0]").Text());
    writer.AppendMasterUtf8("    0, ! transparency atten. [0.0..4.0]");
    AppendColour(writer, specular, "! specular RGB [0.0..1.0]");
    AppendColour(writer, emissive, "! emissive RGB [0.0..1.0]");
    // The fixed tail, joined once, goes in as one block.
    static const std::string tail = [] {
        std::string lines;
        for (const char* line : kMaterialTail)
            (lines += line) += '\n';
        return lines;
    }();
    writer.AppendMasterLines(tail);
}

}  // namespace tarvel
