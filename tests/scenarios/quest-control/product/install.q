[install]
Text a yesflag - h1 Asked when the flag is true?
Text b noflag - h2 Skipped when the flag is false?
Text c mode web h3 Asked when mode is web?
Text d mode other h4 Skipped when mode is other?
Text e mode want h5 Asked when mode equals the setting want?
Text f mode WEB h6 Skipped, the comparison counts letter case?
Text g nosuch - h7 Asked when the control has no value?
Text h maybeflag - h7 Skipped when the flag is neither true nor false?
YN usessl - - h8 Use SSL?
Text sslport usessl - h9 SSL port?
