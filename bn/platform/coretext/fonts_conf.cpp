// Generated from fonts.conf by the build; edit that file instead.
extern const char* const g_coretext_fonts_conf;
const char* const g_coretext_fonts_conf = R"fontsconf(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<!-- The editor's face names and the Debian font that stands in for them. Compiled
     into the text engine and loaded on top of the system's configuration. -->
<fontconfig>
  <match target="pattern">
    <test name="family"><string>Consolas</string></test>
    <edit name="family" mode="prepend" binding="strong"><string>DejaVu Sans Mono</string></edit>
  </match>
  <match target="pattern">
    <test name="family"><string>NK57 Monospace</string></test>
    <edit name="family" mode="prepend" binding="strong"><string>DejaVu Sans Mono</string></edit>
  </match>
  <match target="pattern">
    <test name="family"><string>Monaco</string></test>
    <edit name="family" mode="prepend" binding="strong"><string>DejaVu Sans Mono</string></edit>
  </match>
</fontconfig>
)fontsconf";
