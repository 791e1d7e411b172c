[install]
Exist $(current_dir)/marker present
Error present h1 Not shown: the marker exists
Text port - - h2 Port
Copy port - - h3 unset_setting
Loop flag -1
Text name - - h4 Name on port $(port)
# A jump past the last entry ends the pass like running off its end.
Loop flag 99
Text never - - h5 Never asked
