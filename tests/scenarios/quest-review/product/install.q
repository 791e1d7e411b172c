[install]
Text first - - h1 First value?
YN ssl - - h2 Use SSL?
Text third - - h3 Third value?
