#!/bin/sh
echo a
